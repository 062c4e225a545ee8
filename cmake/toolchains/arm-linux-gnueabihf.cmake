# 32-bit ARMv7 with hardware floating point (Debian armhf), run under qemu-arm.
# long, size_t and time_t are 32 bits wide here.
set(PXVIBER_CROSS_TRIPLET arm-linux-gnueabihf)
set(PXVIBER_DEBIAN_ARCHITECTURE armhf)
set(PXVIBER_QEMU qemu-arm-static)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
