#include "platform/runtime/host.h"

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "platform/runtime/tweak_loader.h"

namespace platform::runtime {

int runHost(int argc, char** argv, const HostConfig& config) {
  CLI::App app{config.processName + " host of the simulated device"};
  std::string root;
  std::string bundleId = config.bundleIdentifier;
  app.add_option("--root", root, "device root folder (default: $PXVIBER_ROOT)");
  app.add_option("--bundle-id", bundleId, "bundle identifier of this process");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (!root.empty()) {
    foundation::setDeviceRoot(root);
    // Children (a launched messenger) inherit the device.
    ::setenv(foundation::kDeviceRootEnv, root.c_str(), 1);
  }
  if (!std::filesystem::is_directory(foundation::deviceRoot())) {
    std::cerr << config.processName << ": no device at " << foundation::deviceRoot() << "\n";
    return 1;
  }
  foundation::setMainBundleIdentifier(bundleId);
  foundation::setProcessName(config.processName);
  try {
    foundation::setLogSink(foundation::makeDeviceLog(
        foundation::hostPath(foundation::kSyslogDevicePath), config.processName));
    auto loop = runloop::makeEventRunLoop();
    runloop::setMainRunLoop(loop);
    notify::setDarwinNotifyCenter(
        notify::connectDarwinNotifyCenter(notify::deviceBusAddress(), *loop));
    auto stop = [&config, loop] {
      if (config.beforeExit) config.beforeExit();
      loop->stop();
    };
    loop->onSignal(SIGTERM, stop);
    loop->onSignal(SIGINT, stop);
    if (config.registerClasses) config.registerClasses();
    loadTweaks(bundleId);
    if (config.afterLoad) config.afterLoad(*loop);
    auto handlers = config.requestHandlers ? config.requestHandlers()
                                           : std::map<std::string, HostRequestHandler>{};
    handlers["ping"] = [](const foundation::Dictionary&) {
      return foundation::Dictionary{{"pid", foundation::Value(static_cast<long long>(::getpid()))}};
    };
    serveHostRequests(*notify::darwinNotifyCenter(), config.processName, std::move(handlers));
    // The pid file says "running and ready": tweaks are loaded and observers are
    // registered, so a notification posted from now on is received.
    std::filesystem::path pidFile =
        foundation::hostPath(std::string(kRunFolderDevicePath) + "/" + config.processName + ".pid");
    std::string pid = std::to_string(::getpid()) + "\n";
    foundation::writeFileAtomically(
        pidFile, std::span(reinterpret_cast<const std::uint8_t*>(pid.data()), pid.size()));
    loop->run();
    std::error_code ec;
    std::filesystem::remove(pidFile, ec);
  } catch (const Error& e) {
    std::cerr << config.processName << ": " << e.what() << "\n";
    return 1;
  }
  // Leave without running static destructors of tweak libraries: on the phone a
  // process is killed, never unwound, and the tweak keeps its objects for life.
  std::cout.flush();
  std::_Exit(0);
}

}  // namespace platform::runtime
