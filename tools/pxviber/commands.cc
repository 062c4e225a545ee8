#include "tools/pxviber/commands.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "tools/pxviber/demo.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;

namespace {

// Options shared by the device commands.
struct RootOption {
  std::string root;
  void add(CLI::App* cmd) { cmd->add_option("--root", root, "device root folder")->required(); }
  fs::path path() const { return fs::absolute(root); }
};

int fail(const std::string& message, int code) {
  std::cerr << "pxviber: " << message << "\n";
  return code;
}

// Joins the device's bus; throws when the device has no running bus.
std::shared_ptr<platform::notify::NotifyCenter> joinBus(const fs::path& root,
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

int notifyWatch(const fs::path& root, const std::string& name, int count, double timeout) {
  auto loop = platform::runloop::makeEventRunLoop();
  auto center = joinBus(root, *loop);
  int seen = 0;
  center->addObserver(
      nullptr,
      [&](platform::notify::NotifyCenter*, const void*, std::string_view n, const void*,
          const void*) {
        std::cout << n << std::endl;
        ++seen;
      },
      name, platform::notify::SuspensionBehavior::DeliverImmediately);
  loop->onSignal(SIGINT, [&] { loop->stop(); });
  loop->onSignal(SIGTERM, [&] { loop->stop(); });
  if (count <= 0 && timeout <= 0) {
    loop->run();
    return kOk;
  }
  bool done = loop->runUntil([&] { return count > 0 && seen >= count; },
                             platform::runloop::Seconds(timeout > 0 ? timeout : 1e9));
  return count > 0 && !done ? kFailed : kOk;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  CLI::App app{"pxviber: the Viber quick-reply extension on a simulated device"};
  app.require_subcommand(1);
  app.footer("Example: pxviber demo");

  auto* device = app.add_subcommand("device", "create, start or stop a simulated device");
  device->require_subcommand(1);
  RootOption createRoot, startRoot, stopRoot;
  int ios = 9;
  auto* create = device->add_subcommand("create", "make a new device folder with Viber installed");
  createRoot.add(create);
  create->add_option("--ios", ios, "iOS version of the device: 7, 8 or 9")->default_val(9);
  create->footer("Example: pxviber device create --root /tmp/phone --ios 9");
  auto* start = device->add_subcommand("start", "start the device's bus and springboard");
  startRoot.add(start);
  start->footer("Example: pxviber device start --root /tmp/phone");
  auto* stop = device->add_subcommand("stop", "stop every process of the device");
  stopRoot.add(stop);
  stop->footer("Example: pxviber device stop --root /tmp/phone");

  auto* notify = app.add_subcommand("notify", "post or watch Darwin notifications on a device");
  notify->require_subcommand(1);
  RootOption postRoot, watchRoot;
  std::string postName, watchName;
  int watchCount = 0;
  double watchTimeout = 0;
  auto* post = notify->add_subcommand("post", "post a notification");
  post->add_option("NAME", postName, "notification name")->required();
  postRoot.add(post);
  post->footer(
      "Example: pxviber notify post org.northquay.parlexviber.preferencesChanged --root "
      "/tmp/phone");
  auto* watch = notify->add_subcommand("watch", "print each delivery of a notification");
  watch->add_option("NAME", watchName, "notification name")->required();
  watchRoot.add(watch);
  watch->add_option("--count", watchCount,
                    "exit after this many deliveries (non-zero exit on timeout)");
  watch->add_option("--timeout", watchTimeout, "exit after this many seconds");
  watch->footer(
      "Example: pxviber notify watch org.northquay.parlexviber.sendMessage --root /tmp/phone");

  DemoOptions demoOptions;
  auto* demo = app.add_subcommand("demo", "run the whole road of a reply on a sample device");
  demo->add_option("--ios", demoOptions.iosVersion, "iOS version of the device: 7, 8 or 9");
  demo->add_flag("--keep", demoOptions.keep, "keep the device folder afterwards");
  demo->footer("Example: pxviber demo --ios 9 --keep");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kOk : kUsage;
  }

  try {
    if (*create) {
      auto viber = createDevice(createRoot.path(), {.iosVersion = ios});
      std::cout << "created an iOS " << ios << " device at " << createRoot.path().string() << "\n"
                << "  Viber bundle:         " << viber.bundle.string() << "\n"
                << "  Viber data container: " << viber.dataContainer.string() << "\n";
      return kOk;
    }
    if (*start) {
      requireDevice(startRoot.path());
      if (runningPid(startRoot.path(), "SpringBoard")) {
        return fail("the device at " + startRoot.path().string() + " is already running",
                    kAlreadyRunning);
      }
      startDevice(startRoot.path());
      std::cout << "device running at " << startRoot.path().string() << " (springboard pid "
                << *runningPid(startRoot.path(), "SpringBoard") << ")\n";
      return kOk;
    }
    if (*stop) {
      if (!stopDevice(stopRoot.path())) {
        return fail("the device at " + stopRoot.path().string() + " is not running", kNotRunning);
      }
      std::cout << "device stopped\n";
      return kOk;
    }
    if (*post) {
      auto loop = platform::runloop::makeEventRunLoop();
      joinBus(postRoot.path(), *loop)->postNotification(postName);
      return kOk;
    }
    if (*watch) return notifyWatch(watchRoot.path(), watchName, watchCount, watchTimeout);
    if (*demo) return runDemo(demoOptions);
  } catch (const platform::Error& e) {
    std::string what = e.what();
    int code = what.find("no device") != std::string::npos     ? kNoDevice
               : what.find("not running") != std::string::npos ? kNotRunning
                                                               : kFailed;
    return fail(what, code);
  }
  return kUsage;
}

}  // namespace pxviber
