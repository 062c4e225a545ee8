#include "tools/pxviber/commands.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "platform/foundation/build_info.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/notify/notify_center.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;

void addRootOption(CLI::App* command, fs::path& root) {
  command->add_option("--root", root, "device root folder")
      ->required()
      ->each([&root](const std::string& v) { root = fs::absolute(v); });
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
  app.footer("Example: pxviber demo");
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
  }
  return exitCode;
}

}  // namespace pxviber
