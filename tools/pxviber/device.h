// Simulated devices: creating one, starting and stopping its processes.
//
// A device is a folder laid out like the phone's file system (see
// platform/foundation/device.h). Starting a device starts its bus daemon and its
// springboard in the background; their pids are kept in pid files under
// "/private/var/run" so that any later command, or another shell, can find and
// stop them once each is recognised as the device's own (runningPid). Every
// failure throws platform::Error with a message for the user.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/device.h"
#include "platform/viberdb/sample_content.h"

namespace pxviber {

// How long starting a process of the device may take before it counts as
// hung: far beyond any start on a loaded machine.
inline constexpr std::chrono::seconds kStartPatience{60};

struct DeviceOptions {
  int iosVersion = 9;
  // The command words that run the device's programs: by default this build's
  // emulator (qemu-user for a cross build), nothing for a native build.
  std::vector<std::string> emulator = platform::foundation::buildEmulator();
};

// Where the device keeps Viber's bundle and data container.
struct ViberLocation {
  std::filesystem::path bundle;         // host path of Viber.app
  std::filesystem::path dataContainer;  // host path of the data container
  // What the sample database holds (set by createDevice only).
  std::optional<platform::viberdb::SampleContent> sample;
};

// Creates the device layout under `root` (which must not hold a device yet; its
// parent must exist) for this build's processor, records the device's platform
// pieces as installed packages and installs this build's package into it, as a
// phone gets the tweak. Answers Viber's location.
ViberLocation createDevice(const std::filesystem::path& root, const DeviceOptions& options);

// Throws unless `root` holds a device.
void requireDevice(const std::filesystem::path& root);

// Viber's location on an existing device; nullopt when Viber is not installed.
std::optional<ViberLocation> findViber(const std::filesystem::path& root);

// The pid file of `process` ("dbus", "SpringBoard", "Viber") on the device.
std::filesystem::path pidFilePath(const std::filesystem::path& root, const std::string& process);

// The pid recorded for `process` when that process runs and is the device's
// own: started with the arguments the device starts it with (the host's
// program and "--root <root>"; the bus daemon's socket under the root).
// nullopt otherwise: a pid file is never trusted alone.
std::optional<int> runningPid(const std::filesystem::path& root, const std::string& process);

// Removes the pid files that name no running process of the device; answers
// a line for each, saying which and why.
std::vector<std::string> removeStalePidFiles(const std::filesystem::path& root);

// Starts the bus daemon and the springboard; throws when already running.
void startDevice(const std::filesystem::path& root);
// Stops every process of the device (its own only, see runningPid) and
// removes their pid files; answers false when nothing was running.
bool stopDevice(const std::filesystem::path& root);
// Stops the device's bus daemon when it runs.
void stopBus(const std::filesystem::path& root);

// Starts a host program ("springboard", "viber") of this build on the device in
// the background, with its output appended to "/private/var/log/<name>.out".
// Answers its pid once the host has loaded its tweaks and is running its loop.
// A host that has neither become ready nor exited within `readyTimeout` is
// killed, and the start fails.
int launchHost(const std::filesystem::path& root, const std::string& program,
               const std::vector<std::string>& extraArgs = {},
               std::chrono::milliseconds readyTimeout = kStartPatience);

// The folder holding this build's programs (the one pxviber runs from).
std::filesystem::path programFolder();

// This build's own package (made by the build into "packages/").
std::filesystem::path ownPackage();

// The argument list that runs this build's `program` with `args` on the device
// at `root`, through the device's emulator when it names one.
std::vector<std::string> deviceCommand(const std::filesystem::path& root,
                                       const std::string& program,
                                       const std::vector<std::string>& args = {});

// The lines of the device's system log.
std::vector<std::string> readSyslog(const std::filesystem::path& root);

}  // namespace pxviber
