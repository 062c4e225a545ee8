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
#include "platform/runtime/tweak_loader.h"

namespace platform::runtime {

namespace fs = std::filesystem;

namespace {

struct Identity {
  std::string root;
  std::string bundleId;
};

// Parses the options; answers the exit code when the process ends here.
std::optional<int> parseOptions(int argc, char** argv, const HostConfig& config, Identity& id) {
  CLI::App app{config.processName + " host of the simulated device"};
  id.bundleId = config.bundleIdentifier;
  app.add_option("--root", id.root, "device root folder (default: $PXVIBER_ROOT)");
  app.add_option("--bundle-id", id.bundleId, "bundle identifier of this process");
  if (config.addOptions) config.addOptions(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return std::nullopt;
}

// Takes the device; false (with the reason on stderr) when there is none.
bool takeDevice(const HostConfig& config, const std::string& root) {
  if (!root.empty()) {
    fs::path absolute = fs::absolute(root);
    foundation::setDeviceRoot(absolute);
    // Children (a launched messenger) inherit the device.
    ::setenv(foundation::kDeviceRootEnv, absolute.c_str(), 1);
  }
  if (!fs::exists(foundation::deviceRoot() / "device.plist")) {
    std::cerr << config.processName << ": no device at " << foundation::deviceRoot().string()
              << "\n";
    return false;
  }
  return true;
}

// The device bus; null when a host that can do without it finds the device
// stopped or its bus unreachable (it says so in the log).
std::shared_ptr<notify::NotifyCenter> joinBus(const HostConfig& config, runloop::RunLoop& loop) {
  if (config.needsBus) return notify::connectDarwinNotifyCenter(notify::deviceBusAddress(), loop);
  if (!fs::exists(foundation::hostPath(notify::kBusSocketDevicePath))) {
    foundation::NSLog("{}: the device is not running; changes are saved unannounced",
                      config.processName);
    return nullptr;
  }
  try {
    return notify::connectDarwinNotifyCenter(notify::deviceBusAddress(), loop);
  } catch (const Error& e) {
    foundation::NSLog("{}: cannot join the device bus ({}); changes are saved unannounced",
                      config.processName, e.what());
    return nullptr;
  }
}

std::unique_ptr<Host> wire(const HostConfig& config, const std::string& bundleId) {
  foundation::setMainBundleIdentifier(bundleId);
  foundation::setProcessName(config.processName);
  foundation::setLogSink(foundation::makeDeviceLog(
      foundation::hostPath(foundation::kSyslogDevicePath), config.processName));
  auto loop = runloop::makeEventRunLoop();
  runloop::setMainRunLoop(loop);
  auto center = joinBus(config, *loop);
  if (center) notify::setDarwinNotifyCenter(center);
  auto host = std::make_unique<Host>(config, loop, center);
  if (config.registerClasses) config.registerClasses();
  loadTweaks(bundleId);
  if (config.afterLoad) config.afterLoad(*loop);
  return host;
}

}  // namespace

Host::Host(HostConfig config, std::shared_ptr<runloop::RunLoop> loop,
           std::shared_ptr<notify::NotifyCenter> center)
    : config_(std::move(config)), loop_(std::move(loop)), center_(std::move(center)) {}

Host::~Host() {
  if (!ready_) return;
  std::error_code ec;
  fs::remove(pidFile(), ec);
}

fs::path Host::pidFile() const {
  return foundation::hostPath(std::string(kRunFolderDevicePath) + "/" + config_.processName +
                              ".pid");
}

void Host::serveRequests(std::map<std::string, HostRequestHandler> handlers) {
  if (!center_) return;
  handlers["ping"] = [](const foundation::Dictionary&) {
    return foundation::Dictionary{{"pid", foundation::Value(static_cast<long long>(::getpid()))}};
  };
  serveHostRequests(*center_, config_.processName, std::move(handlers));
}

bool Host::markReady() {
  std::string pid = std::to_string(::getpid()) + "\n";
  ready_ = foundation::writeFileAtomically(
      pidFile(), std::span(reinterpret_cast<const std::uint8_t*>(pid.data()), pid.size()));
  return ready_;
}

void Host::run() {
  auto stop = [this] {
    if (config_.beforeExit) config_.beforeExit();
    loop_->stop();
  };
  loop_->onSignal(SIGTERM, stop);
  loop_->onSignal(SIGINT, stop);
  serveRequests(config_.requestHandlers ? config_.requestHandlers()
                                        : std::map<std::string, HostRequestHandler>{});
  if (!markReady()) throw Error("cannot write " + pidFile().string());
  loop_->run();
}

StartedHost startHost(int argc, char** argv, const HostConfig& config) {
  Identity id;
  if (auto code = parseOptions(argc, argv, config, id)) return {nullptr, *code};
  if (!takeDevice(config, id.root)) return {nullptr, 1};
  try {
    return {wire(config, id.bundleId), 0};
  } catch (const Error& e) {
    std::cerr << config.processName << ": " << e.what() << "\n";
    return {nullptr, 1};
  }
}

void exitHost(int code) {
  std::cout.flush();
  std::cerr.flush();
  std::_Exit(code);
}

int runHost(int argc, char** argv, const HostConfig& config) {
  StartedHost started = startHost(argc, argv, config);
  if (!started.host) return started.exitCode;
  try {
    started.host->run();
  } catch (const Error& e) {
    std::cerr << config.processName << ": " << e.what() << "\n";
    return 1;
  }
  started.host.reset();
  exitHost(0);
}

}  // namespace platform::runtime
