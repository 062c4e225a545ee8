// Reading the settings and mailbox file: any bytes at all give a dictionary
// or nothing, and loading the settings from them never fails.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "tweak/core/preferences.h"

namespace {

std::filesystem::path scratchDevice() {
  static std::filesystem::path root = [] {
    char tmpl[] = "/tmp/settings-fuzz-XXXXXX";
    std::filesystem::path r = ::mkdtemp(tmpl);
    std::filesystem::create_directories(r / "var/mobile/Library/Preferences");
    platform::foundation::setDeviceRoot(r);
    return r;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  scratchDevice();
  std::span<const std::uint8_t> bytes(data, size);
  if (auto value = platform::foundation::parsePropertyList(bytes)) {
    // Whatever parsed must print and encode without fault.
    (void)value->description();
    (void)platform::foundation::serializePropertyList(
        *value, platform::foundation::PropertyListFormat::Binary);
  }
  // A plain write: the fuzzer needs speed, not durability.
  std::ofstream(tweak::preferencesPath(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  tweak::loadPreferences();
  return 0;
}
