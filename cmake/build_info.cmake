# What a build is: the project's one version number and package name, the Debian architecture of
# the processor it is built for (the architecture of its package and of the
# devices it creates), and the emulator that runs its programs on the build
# machine when it is a cross build. Code reads them from the generated header
# platform/foundation/build_info.h.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(PXVIBER_ARCHITECTURE amd64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(PXVIBER_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
  set(PXVIBER_ARCHITECTURE armhf)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
  set(PXVIBER_ARCHITECTURE i386)
else()
  string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" PXVIBER_ARCHITECTURE)
endif()

set(PXVIBER_PACKAGE_NAME org.northquay.parlexforviber)

set(PXVIBER_EMULATOR "")
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " PXVIBER_EMULATOR)
endif()

set(PXVIBER_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/platform/foundation/build_info.h.in
  ${PXVIBER_GENERATED_DIR}/platform/foundation/build_info.h @ONLY)
