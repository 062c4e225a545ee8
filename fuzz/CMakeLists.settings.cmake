px_fuzz(settings_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_fuzz.cc LIBS tweak_core)
