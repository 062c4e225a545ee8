# Shared part of the cross toolchains: Debian's cross compilers for the
# triplet in PXVIBER_CROSS_TRIPLET, the foreign architecture's libraries in a
# sysroot of the build's own (PXVIBER_SYSROOT, by default
# build-sysroots/<architecture> beside the sources, made by ./run cross), and
# qemu-user to run what is built (tests, test discovery), told to find the
# dynamic loader and the libraries in that sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${PXVIBER_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PXVIBER_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${PXVIBER_CROSS_TRIPLET})

if(NOT PXVIBER_SYSROOT)
  cmake_path(SET PXVIBER_SYSROOT NORMALIZE
    "${CMAKE_CURRENT_LIST_DIR}/../../build-sysroots/${PXVIBER_DEBIAN_ARCHITECTURE}")
endif()
if(NOT EXISTS "${PXVIBER_SYSROOT}/usr/lib/${PXVIBER_CROSS_TRIPLET}")
  message(FATAL_ERROR "No ${PXVIBER_DEBIAN_ARCHITECTURE} sysroot at ${PXVIBER_SYSROOT}: "
    "./run cross makes it (or set PXVIBER_SYSROOT to one)")
endif()
# The test programs CMake builds while it configures see the same sysroot.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PXVIBER_SYSROOT)
set(CMAKE_SYSROOT ${PXVIBER_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The machine's pkg-config, reading only the sysroot's .pc files and putting
# the sysroot before the paths they name.
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "pkg-config for the target")
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${PXVIBER_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
  "${PXVIBER_SYSROOT}/usr/lib/${PXVIBER_CROSS_TRIPLET}/pkgconfig:${PXVIBER_SYSROOT}/usr/share/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# -L makes qemu look for every absolute path (the dynamic loader, the
# libraries) in the sysroot first. The emulator's words go into the devices a
# cross build creates, so the hosts those devices start run the same way.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/${PXVIBER_QEMU} -L ${PXVIBER_SYSROOT})
