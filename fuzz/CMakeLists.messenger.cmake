# The send executor inside a messenger, fed arbitrary mailbox files.
px_fuzz(send_executor_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/send_executor_fuzz.cc
  LIBS tweak_bridge tweak_core px_messenger px_viberdb PkgConfig::SQLITE)
