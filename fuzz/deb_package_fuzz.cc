// Reading Debian packages: any bytes give a checked package or an error, never a
// crash, and a package that is read holds only paths inside the root.
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/deb_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  try {
    auto package = pxviber::packages::parseDebPackage(
        platform::foundation::Bytes(data, data + size), "fuzz.deb");
    for (auto& f : package.files) {
      if (f.path.empty() || f.path.front() == '/') std::abort();
      for (auto& part : std::filesystem::path(f.path)) {
        if (part == "..") std::abort();
      }
    }
  } catch (const platform::Error&) {
  }
  return 0;
}
