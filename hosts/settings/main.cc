// The Settings app of the simulated device: the host wiring of every process
// (device, bundle identifier, log, main run loop, device bus, tweaks), with GTK's
// main loop driving the platform's run loop, then the window.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "hosts/settings/glib_run_loop.h"
#include "hosts/settings/settings_app.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "platform/runtime/tweak_loader.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

// The device bus when the device is running; without it the app still edits the
// settings files, and says that nobody hears of the changes.
std::shared_ptr<notify::NotifyCenter> joinBus(runloop::RunLoop& loop) {
  if (!fs::exists(foundation::hostPath(notify::kBusSocketDevicePath))) {
    foundation::NSLog("Preferences: the device is not running; changes are saved unannounced");
    return nullptr;
  }
  try {
    return notify::connectDarwinNotifyCenter(notify::deviceBusAddress(), loop);
  } catch (const Error& e) {
    foundation::NSLog("Preferences: cannot join the device bus ({}); changes are saved unannounced",
                      e.what());
    return nullptr;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"Settings app of the simulated device"};
  std::string root;
  hosts::settings::AppOptions options;
  cli.add_option("--root", root, "device root folder (default: $PXVIBER_ROOT)");
  cli.add_option("--open", options.open, "pane to open at start (label or bundle name)");
  cli.add_option("--screenshot", options.screenshots,
                 "save PNGs of the pane and of its other-apps page into DIR, then quit");
  CLI11_PARSE(cli, argc, argv);
  if (!root.empty()) {
    foundation::setDeviceRoot(fs::absolute(root));
    ::setenv(foundation::kDeviceRootEnv, fs::absolute(root).c_str(), 1);
  }
  if (!fs::exists(foundation::deviceRoot() / "device.plist")) {
    std::cerr << "settings: no device at " << foundation::deviceRoot().string() << "\n";
    return 1;
  }
  foundation::setMainBundleIdentifier("com.apple.Preferences");
  foundation::setProcessName(hosts::settings::kProcessName);
  try {
    foundation::setLogSink(foundation::makeDeviceLog(
        foundation::hostPath(foundation::kSyslogDevicePath), hosts::settings::kProcessName));
    auto loop = runloop::makeEventRunLoop();
    runloop::setMainRunLoop(loop);
    auto center = joinBus(*loop);
    if (center) notify::setDarwinNotifyCenter(center);
    hosts::settings::attachToGLib(*loop);
    runtime::loadTweaks("com.apple.Preferences");
    int code = hosts::settings::runSettingsApp(options, center);
    // As every host does: leave without running the static destructors of the
    // loaded plug-ins, whose classes stay registered until the process ends.
    std::cout.flush();
    std::_Exit(code);
  } catch (const Error& e) {
    std::cerr << "settings: " << e.what() << "\n";
    return 1;
  }
}
