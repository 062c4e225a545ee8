# Shared part of the cross toolchains: Debian's cross compilers for the
# triplet in PXVIBER_CROSS_TRIPLET, the libraries of the foreign architecture
# installed through multiarch (/usr/lib/<triplet>), and qemu-user to run what
# is built (tests, test discovery). The foreign architecture's C library is
# installed with those libraries, so qemu finds the dynamic loader on its own.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${PXVIBER_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PXVIBER_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${PXVIBER_CROSS_TRIPLET})
set(PKG_CONFIG_EXECUTABLE ${PXVIBER_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "pkg-config for the target")
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/${PXVIBER_QEMU})
