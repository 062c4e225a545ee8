#include "platform/messenger/data_container.h"

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"

namespace platform::messenger {

namespace fs = std::filesystem;

namespace {

bool plistNames(const fs::path& file, const char* key, const std::string& identifier) {
  auto d = foundation::readDictionaryFile(file);
  if (!d) return false;
  const foundation::Value* v = foundation::find(*d, key);
  return v && v->asString() && *v->asString() == identifier;
}

}  // namespace

std::optional<fs::path> findDataContainer(const std::string& bundleIdentifier) {
  std::error_code ec;
  fs::path containers = foundation::hostPath("/private/var/mobile/Containers/Data/Application");
  for (const auto& entry : fs::directory_iterator(containers, ec)) {
    if (plistNames(entry.path() / ".com.apple.mobile_container_manager.metadata.plist",
                   "MCMMetadataIdentifier", bundleIdentifier)) {
      return entry.path();
    }
  }
  // iOS 7 keeps the bundle and the data side by side in one folder.
  fs::path applications = foundation::hostPath("/private/var/mobile/Applications");
  for (const auto& entry : fs::directory_iterator(applications, ec)) {
    std::error_code inner;
    for (const auto& item : fs::directory_iterator(entry.path(), inner)) {
      if (item.path().extension() == ".app" &&
          plistNames(item.path() / "Info.plist", "CFBundleIdentifier", bundleIdentifier)) {
        return entry.path();
      }
    }
  }
  return std::nullopt;
}

}  // namespace platform::messenger
