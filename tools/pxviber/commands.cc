#include "tools/pxviber/commands.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "platform/foundation/build_info.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/notify/notify_center.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;

fs::path defaultDeviceFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return fs::path(data) / "pxviber/device";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/") / ".local/share/pxviber/device";
}

namespace {

// The device of a command given no --root.
fs::path impliedRoot(RootUse use) {
  if (const char* env = std::getenv(platform::foundation::kDeviceRootEnv); env && *env)
    return fs::absolute(env);
  fs::path folder = defaultDeviceFolder();
  if (use == RootUse::New) {
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    return folder;
  }
  if (fs::exists(folder)) return folder;
  throw platform::Error("no device given and no default device at " + folder.string() +
                        ": make one with `pxviber device create` (or give --root DIR, or set " +
                        platform::foundation::kDeviceRootEnv + ")");
}

// "cannot <operation> <path> [and <path>]: <reason>" from what the library
// says ("filesystem error: cannot <operation>: <reason> [<path>] [<path>]").
std::string describe(const fs::filesystem_error& e) {
  std::string what = e.what();
  std::string operation = "use";
  if (auto cannot = what.find("cannot "); cannot != std::string::npos) {
    auto colon = what.find(':', cannot);
    operation = what.substr(cannot + 7, colon == std::string::npos ? colon : colon - cannot - 7);
  }
  std::string paths = e.path1().string();
  if (paths.empty()) paths = "\"\"";
  if (!e.path2().empty()) paths += " and " + e.path2().string();
  return "cannot " + operation + " " + paths + ": " + e.code().message();
}

}  // namespace

void addRootOption(CLI::App* command, fs::path& root, RootUse use) {
  auto* option = command->add_option("--root", root,
                                     "device root folder (default: $" +
                                         std::string(platform::foundation::kDeviceRootEnv) +
                                         ", else " + defaultDeviceFolder().string() + ")");
  option->check(
      [](const std::string& v) { return v.empty() ? "needs a folder, not an empty name" : ""; });
  option->each([&root](const std::string& v) { root = fs::absolute(v); });
  command->parse_complete_callback([option, &root, use] {
    if (option->count() == 0) root = impliedRoot(use);
  });
}

std::shared_ptr<platform::notify::NotifyCenter> joinDeviceBus(const fs::path& root,
                                                              platform::runloop::RunLoop& loop) {
  requireDevice(root);
  if (!runningPid(root, "dbus")) {
    throw platform::Error("the device at " + root.string() +
                          " is not running (run: pxviber device start --root " + root.string() +
                          ")");
  }
  platform::foundation::setDeviceRoot(root);
  return platform::notify::connectDarwinNotifyCenter(platform::notify::deviceBusAddress(), loop);
}

int runCommandLine(int argc, char** argv) {
  CLI::App app{"pxviber: the Viber quick-reply extension on a simulated device"};
  app.set_version_flag("--version", std::string("pxviber ") +
                                        platform::foundation::kProjectVersion + " (" +
                                        platform::foundation::kBuildArchitecture + ")");
  app.require_subcommand(1);
  app.footer("Every device command works on the device given with --root DIR, else on $" +
             std::string(platform::foundation::kDeviceRootEnv) + ", else on the default device " +
             defaultDeviceFolder().string() + " (made by `pxviber device create`).\n" +
             "Example: pxviber demo");
  int exitCode = kUsage;
  addDeviceCommands(app, exitCode);
  addPackageCommands(app, exitCode);
  addNotifyCommands(app, exitCode);
  addDemoCommand(app, exitCode);
  addReplyCommands(app, exitCode);
  addLogCommand(app, exitCode);
  addMessengerCommands(app, exitCode);
  addAlertsCommand(app, exitCode);
  addSettingsCommand(app, exitCode);
  addPushCommand(app, exitCode);
  addOutboxCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kOk : kUsage;
  } catch (const platform::Error& e) {
    std::string what = e.what();
    std::cerr << "pxviber: " << what << "\n";
    if (what.find("no device") != std::string::npos) return kNoDevice;
    if (what.find("not running") != std::string::npos) return kNotRunning;
    if (what.find("already running") != std::string::npos) return kAlreadyRunning;
    return kFailed;
  } catch (const fs::filesystem_error& e) {
    std::cerr << "pxviber: " << describe(e) << "\n";
    return kFileError;
  } catch (const std::exception& e) {
    std::cerr << "pxviber: failed: " << e.what() << "\n";
    return kFailed;
  }
  return exitCode;
}

}  // namespace pxviber
