# The read path: keyed archives, and identifying arbitrary bulletins against the
# sample Viber database.
px_fuzz(keyed_archive_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/keyed_archive_fuzz.cc
  LIBS px_foundation px_springboard)
px_fuzz(bulletin_identification_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bulletin_identification_fuzz.cc
  LIBS tweak_extension tweak_core tweak_image px_viberdb PkgConfig::SQLITE)
