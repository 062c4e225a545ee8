// AppList: the springboard-side catalogue of installed applications.
//
// The catalogue answers attributes of an application by its bundle identifier.
// Two attributes are kept: "path" (the bundle directory, e.g.
// "/private/var/containers/Bundle/Application/<UUID>/Viber.app") and
// "dataContainerPath" (the sandbox that holds "Documents", e.g.
// "/private/var/mobile/Containers/Data/Application/<UUID>"). Both are device
// paths; hostPath() turns them into files of the simulated device.
//
// The host registers the catalogue as the class "ALApplicationList"; where the
// class is absent (another process, AppList not installed) there is no
// catalogue. Calls are made on the springboard's main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/class_registry.h"

namespace platform::springboard {

inline constexpr const char* kALPathKey = "path";
inline constexpr const char* kALDataContainerPathKey = "dataContainerPath";

class ALApplicationList {
 public:
  virtual ~ALApplicationList() = default;

  // sharedApplicationList: the catalogue of the class registered as
  // "ALApplicationList", or nullptr when no such class is registered.
  static std::shared_ptr<ALApplicationList> sharedApplicationList();

  // valueForKey:forDisplayIdentifier: the attribute `key` of the application
  // `displayIdentifier`; nullopt for an unknown application, an unknown key, or
  // an attribute the platform cannot give (no data container before iOS 8).
  virtual std::optional<std::string> valueForKey(std::string_view key,
                                                 std::string_view displayIdentifier) const = 0;
};

// The class object registered under "ALApplicationList".
class ALApplicationListClass : public runtime::Class {
 public:
  explicit ALApplicationListClass(std::shared_ptr<ALApplicationList> list)
      : list_(std::move(list)) {}
  std::string name() const override { return "ALApplicationList"; }
  std::shared_ptr<ALApplicationList> sharedApplicationList() const { return list_; }

 private:
  std::shared_ptr<ALApplicationList> list_;
};

// The catalogue of the current device's file system, read afresh at each call:
// bundles are the "*.app" folders with an Info.plist naming CFBundleIdentifier,
// under "/Applications" (system applications), "/private/var/mobile/Applications/
// <UUID>" (iOS 7), "/private/var/mobile/Containers/Bundle/Application/<UUID>"
// (iOS 8) and "/private/var/containers/Bundle/Application/<UUID>" (iOS 9). On iOS
// 8 and later a data container is the folder under "/private/var/mobile/
// Containers/Data/Application" whose ".com.apple.mobile_container_manager.
// metadata.plist" names the application as MCMMetadataIdentifier; on iOS 7 there
// is none.
std::shared_ptr<ALApplicationList> makeDeviceApplicationList();

}  // namespace platform::springboard
