// The pxviber command line: each group of subcommands lives in its own file and
// adds itself to the application; runCommandLine dispatches.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace CLI {
class App;
}

namespace platform::notify {
class NotifyCenter;
}
namespace platform::runloop {
class RunLoop;
}

namespace pxviber {

// Exit codes that scripts can rely on.
enum ExitCode : int {
  kOk = 0,
  kFailed = 1,  // the command ran and something it checks failed
  kUsage = 2,   // bad options
  kNoDevice = 3,
  kNotRunning = 4,  // the device (or the process needed) is not running
  kAlreadyRunning = 5,
  kFileError = 6,  // a file or folder could not be used (the message names it)
};

// Adders: each adds its subcommands to `app`; the subcommand's callback runs the
// command and stores its exit code in `exitCode`. A callback reports failures by
// throwing platform::Error; the message says what to do.
void addDeviceCommands(CLI::App& app, int& exitCode);
// `device install` and `device remove`; after addDeviceCommands.
void addPackageCommands(CLI::App& app, int& exitCode);
void addNotifyCommands(CLI::App& app, int& exitCode);
void addDemoCommand(CLI::App& app, int& exitCode);
void addReplyCommands(CLI::App& app, int& exitCode);
void addLogCommand(CLI::App& app, int& exitCode);
void addMessengerCommands(CLI::App& app, int& exitCode);
void addAlertsCommand(CLI::App& app, int& exitCode);
void addSettingsCommand(CLI::App& app, int& exitCode);
void addPushCommand(CLI::App& app, int& exitCode);
void addOutboxCommand(CLI::App& app, int& exitCode);

// The default device folder: "$XDG_DATA_HOME/pxviber/device", or
// "~/.local/share/pxviber/device" when XDG_DATA_HOME is not set.
std::filesystem::path defaultDeviceFolder();

// What a command does with its device: works on one that exists, or makes one.
enum class RootUse { Existing, New };

// The "--root DIR" option that every device command takes, stored absolute;
// an empty DIR is a usage error.
// Left out, the device is $PXVIBER_ROOT (foundation::kDeviceRootEnv) when set, else the default
// device folder: when it exists, or always for RootUse::New (its parent folders are made). With
// neither, parsing fails with platform::Error saying how to make a device.
void addRootOption(CLI::App* command, std::filesystem::path& root, RootUse use = RootUse::Existing);

// Joins the bus of the running device at `root` (setting the process's device
// root to it); throws platform::Error when the device does not exist or is not
// running.
std::shared_ptr<platform::notify::NotifyCenter> joinDeviceBus(const std::filesystem::path& root,
                                                              platform::runloop::RunLoop& loop);

// Runs a command line; answers its exit code. Nothing escapes: a failure
// the commands report (platform::Error), a file-system error (the paths it
// names, kFileError) and any other exception end the command with a message
// on stderr and an exit code.
int runCommandLine(int argc, char** argv);

}  // namespace pxviber
