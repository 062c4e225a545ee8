# Debian packages handed to `pxviber device install`.
px_fuzz(deb_package_fuzz
  SOURCES deb_package_fuzz.cc
  LIBS pxviber_packages)
