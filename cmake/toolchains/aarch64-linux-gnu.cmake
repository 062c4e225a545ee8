# 64-bit ARM (Debian arm64), run under qemu-aarch64.
set(PXVIBER_CROSS_TRIPLET aarch64-linux-gnu)
set(PXVIBER_DEBIAN_ARCHITECTURE arm64)
set(PXVIBER_QEMU qemu-aarch64-static)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
