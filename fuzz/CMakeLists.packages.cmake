# Debian packages handed to `pxviber device install`.
px_fuzz(deb_package_fuzz
  SOURCES deb_package_fuzz.cc
  LIBS pxviber_packages)
# Installs and removes on a device that holds links, in a sandbox.
px_fuzz(package_install_fuzz
  SOURCES
    package_install_fuzz.cc
    ${PROJECT_SOURCE_DIR}/tools/pxviber/packages/testing/deb_builder.cc
    ${PROJECT_SOURCE_DIR}/tools/pxviber/packages/testing/scratch_device.cc
  LIBS pxviber_packages PkgConfig::LIBARCHIVE)
