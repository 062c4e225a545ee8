#include "platform/springboard/app_list.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"

namespace platform::springboard {

namespace fs = std::filesystem;
using foundation::hostPath;

namespace {

// The string under `key` of the property list at a device path.
std::optional<std::string> plistString(const std::string& devicePath, std::string_view key) {
  auto d = foundation::readDictionaryFile(hostPath(devicePath));
  if (!d) return std::nullopt;
  const foundation::Value* v = foundation::find(*d, key);
  if (!v || !v->asString()) return std::nullopt;
  return *v->asString();
}

// The device paths of the sub-folders of a device folder, sorted so that a
// lookup that matches twice always answers the same one.
std::vector<std::string> subfolders(const std::string& devicePath) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(hostPath(devicePath), ec)) {
    if (entry.is_directory(ec)) out.push_back(devicePath + "/" + entry.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class DeviceApplicationList final : public ALApplicationList {
 public:
  std::optional<std::string> valueForKey(std::string_view key,
                                         std::string_view identifier) const override {
    if (key == kALPathKey) return bundlePath(identifier);
    if (key == kALDataContainerPathKey) return dataContainerPath(identifier);
    return std::nullopt;
  }

 private:
  static bool isBundleOf(const std::string& folder, std::string_view identifier) {
    if (!folder.ends_with(".app")) return false;
    return plistString(folder + "/Info.plist", "CFBundleIdentifier") == identifier;
  }

  static std::optional<std::string> bundlePath(std::string_view identifier) {
    for (const auto& app : subfolders("/Applications")) {
      if (isBundleOf(app, identifier)) return app;
    }
    for (const char* base : {"/private/var/containers/Bundle/Application",
                             "/private/var/mobile/Containers/Bundle/Application",
                             "/private/var/mobile/Applications"}) {
      for (const auto& container : subfolders(base)) {
        for (const auto& app : subfolders(container)) {
          if (isBundleOf(app, identifier)) return app;
        }
      }
    }
    return std::nullopt;
  }

  static std::optional<std::string> dataContainerPath(std::string_view identifier) {
    // Data containers exist from iOS 8 on, the same release that brought the
    // process-info version test.
    if (!foundation::processInfoRespondsToIsOperatingSystemAtLeastVersion()) return std::nullopt;
    if (!bundlePath(identifier)) return std::nullopt;
    for (const auto& container : subfolders("/private/var/mobile/Containers/Data/Application")) {
      if (plistString(container + "/.com.apple.mobile_container_manager.metadata.plist",
                      "MCMMetadataIdentifier") == identifier) {
        return container;
      }
    }
    return std::nullopt;
  }
};

}  // namespace

std::shared_ptr<ALApplicationList> ALApplicationList::sharedApplicationList() {
  auto* cls = runtime::lookUpClass<ALApplicationListClass>("ALApplicationList");
  return cls ? cls->sharedApplicationList() : nullptr;
}

std::shared_ptr<ALApplicationList> makeDeviceApplicationList() {
  return std::make_shared<DeviceApplicationList>();
}

}  // namespace platform::springboard
