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

// The "--root DIR" option that every device command takes; stored absolute.
void addRootOption(CLI::App* command, std::filesystem::path& root);

// Joins the bus of the running device at `root` (setting the process's device
// root to it); throws platform::Error when the device does not exist or is not
// running.
std::shared_ptr<platform::notify::NotifyCenter> joinDeviceBus(const std::filesystem::path& root,
                                                              platform::runloop::RunLoop& loop);

int runCommandLine(int argc, char** argv);

}  // namespace pxviber
