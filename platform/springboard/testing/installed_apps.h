// Applications installed into a scratch device the way each iOS version lays
// them out, and a catalogue that counts the questions it is asked.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/app_list.h"

namespace platform::springboard::testing {

struct InstalledApp {
  std::string bundle;         // device path of the .app folder
  std::string dataContainer;  // device path of the folder that holds Documents
};

// Installs `identifier` as "<name>.app" under the current device root: on iOS 7
// in "/private/var/mobile/Applications/<uuid>" with Documents beside the bundle,
// on iOS 8 and 9 in their bundle folders with a data container that carries the
// container metadata. `uuid` names both folders.
inline InstalledApp installApp(int ios, const std::string& identifier, const std::string& name,
                               const std::string& uuid) {
  InstalledApp app;
  if (ios == 7) {
    app.dataContainer = "/private/var/mobile/Applications/" + uuid;
    app.bundle = app.dataContainer + "/" + name + ".app";
  } else {
    std::string bundles = ios == 8 ? "/private/var/mobile/Containers/Bundle/Application/"
                                   : "/private/var/containers/Bundle/Application/";
    app.bundle = bundles + uuid + "/" + name + ".app";
    app.dataContainer = "/private/var/mobile/Containers/Data/Application/" + uuid;
    std::filesystem::create_directories(foundation::hostPath(app.dataContainer));
    foundation::writeDictionaryFileAtomically(
        foundation::hostPath(app.dataContainer +
                             "/.com.apple.mobile_container_manager.metadata.plist"),
        {{"MCMMetadataIdentifier", foundation::Value(identifier)}});
  }
  std::filesystem::create_directories(foundation::hostPath(app.bundle));
  std::filesystem::create_directories(foundation::hostPath(app.dataContainer + "/Documents"));
  foundation::writeDictionaryFileAtomically(
      foundation::hostPath(app.bundle + "/Info.plist"),
      {{"CFBundleIdentifier", foundation::Value(identifier)}});
  return app;
}

// A system application under "/Applications".
inline std::string installSystemApp(const std::string& identifier, const std::string& name) {
  std::string bundle = "/Applications/" + name + ".app";
  std::filesystem::create_directories(foundation::hostPath(bundle));
  foundation::writeDictionaryFileAtomically(
      foundation::hostPath(bundle + "/Info.plist"),
      {{"CFBundleIdentifier", foundation::Value(identifier)}});
  return bundle;
}

// Forwards to the device catalogue and records each question as "key identifier".
class RecordingApplicationList final : public ALApplicationList {
 public:
  std::optional<std::string> valueForKey(std::string_view key,
                                         std::string_view identifier) const override {
    asked.push_back(std::string(key) + " " + std::string(identifier));
    return inner_->valueForKey(key, identifier);
  }
  mutable std::vector<std::string> asked;

 private:
  std::shared_ptr<ALApplicationList> inner_ = makeDeviceApplicationList();
};

// Registers a recording catalogue as "ALApplicationList" and answers it.
inline std::shared_ptr<RecordingApplicationList> registerRecordingApplicationList() {
  auto list = std::make_shared<RecordingApplicationList>();
  runtime::registerClass(std::make_shared<ALApplicationListClass>(list));
  return list;
}

}  // namespace platform::springboard::testing
