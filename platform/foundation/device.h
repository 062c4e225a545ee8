// The simulated device: a host folder laid out like the phone's file system.
//
// Every absolute path of the phone ("/var/mobile/Library/Preferences/...") resolves
// under the device root through hostPath(); nothing else prefixes paths by hand.
// The root is process-wide: a host sets it once at start (from --root or from the
// PXVIBER_ROOT environment variable that the launcher passes on), tests set it to
// their scratch device.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/build_info.h"
#include "platform/foundation/value.h"

namespace platform::foundation {

// The environment variable through which a launched process learns its device.
inline constexpr const char* kDeviceRootEnv = "PXVIBER_ROOT";

// The device root; when none was set, the value of PXVIBER_ROOT, else "/".
std::filesystem::path deviceRoot();
void setDeviceRoot(const std::filesystem::path& root);

// The host path of an absolute device path: "/var/x" under root "/tmp/d" is
// "/tmp/d/var/x". A relative path is taken as relative to the device's "/".
std::filesystem::path hostPath(std::string_view devicePath);
// The same for the device at `root` (tools that handle a device other than
// their own process's).
std::filesystem::path hostPathIn(const std::filesystem::path& root, std::string_view devicePath);

// The inverse of hostPath for a host path inside the device ("/tmp/d/var/x" gives
// "/var/x"); nullopt for a path outside it.
std::optional<std::string> devicePath(const std::filesystem::path& hostPath);

// The device's settings ("/device.plist"): iOS version, screen, background
// time, processor, and the emulator that runs its programs.
struct DeviceSettings {
  int iosVersion = 9;
  double screenWidth = 375;   // points
  double screenHeight = 667;  // points
  double screenScale = 2;
  double backgroundSeconds = 10;  // how long a resumed app runs before it is suspended again
  // The Debian architecture of the device's processor: the architecture of the
  // packages it takes. This build's when the file does not say.
  std::string architecture = kBuildArchitecture;
  // The command words that run the device's programs on this machine (qemu-user
  // for a device of another processor); empty: they run directly.
  std::vector<std::string> emulator;

  static DeviceSettings fromDictionary(const Dictionary& d);
  Dictionary toDictionary() const;
};

// Reads "/device.plist" of the current device; defaults for what it lacks.
DeviceSettings loadDeviceSettings();

// The words of the command that runs this build's programs on the build machine
// (kBuildEmulator split at blanks): qemu-user for a cross build, none for a
// native one.
std::vector<std::string> buildEmulator();

// The argument list that runs `program` (a host path) with `args` on a device
// with these settings: the emulator's words first when it has one.
std::vector<std::string> programCommand(const DeviceSettings& settings,
                                        const std::filesystem::path& program,
                                        const std::vector<std::string>& args);

}  // namespace platform::foundation
