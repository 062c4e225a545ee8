// pxviber device create|start|stop and pxviber notify post|watch.
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <sstream>

#include "platform/foundation/build_info.h"
#include "platform/foundation/error.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/sample_photo.h"

namespace pxviber {

namespace fs = std::filesystem;

void addDeviceCommands(CLI::App& app, int& exitCode) {
  auto* device = app.add_subcommand("device", "create, start or stop a simulated device");
  device->require_subcommand(1);

  struct CreateOptions {
    fs::path root;
    int ios = 9;
    std::string emulator = platform::foundation::kBuildEmulator;
  };
  auto create = std::make_shared<CreateOptions>();
  auto* createCmd =
      device->add_subcommand("create", "make a new device folder with Viber installed");
  addRootOption(createCmd, create->root, RootUse::New);
  createCmd->add_option("--ios", create->ios, "iOS version of the device: 7, 8 or 9")
      ->default_val(9);
  createCmd->add_option("--emulator", create->emulator,
                        "command that runs the device's programs, \"\" for none (default: this "
                        "build's emulator, none for a native build)");
  createCmd->footer("Example: pxviber device create --root /tmp/phone --ios 9");
  createCmd->callback([create, &exitCode] {
    DeviceOptions options{.iosVersion = create->ios, .emulator = {}};
    std::istringstream words(create->emulator);
    for (std::string w; words >> w;) options.emulator.push_back(w);
    auto viber = createDevice(create->root, options);
    // A photo to try photo replies with, where a phone keeps its camera roll.
    fs::path photo = create->root / fs::path(kSamplePhotoDevicePath).relative_path();
    fs::create_directories(photo.parent_path());
    writeSamplePhoto(photo);
    std::cout << "created an iOS " << create->ios << " device at " << create->root.string() << "\n"
              << "  Viber bundle:         " << viber.bundle.string() << "\n"
              << "  Viber data container: " << viber.dataContainer.string() << "\n"
              << "  a camera photo:       " << photo.string() << "\n";
    exitCode = kOk;
  });

  auto startRoot = std::make_shared<fs::path>();
  auto* startCmd = device->add_subcommand("start", "start the device's bus and springboard");
  addRootOption(startCmd, *startRoot);
  startCmd->footer("Example: pxviber device start --root /tmp/phone");
  startCmd->callback([startRoot, &exitCode] {
    requireDevice(*startRoot);
    for (auto& line : removeStalePidFiles(*startRoot)) std::cout << line << "\n";
    startDevice(*startRoot);
    std::cout << "device running at " << startRoot->string() << " (springboard pid "
              << runningPid(*startRoot, "SpringBoard").value_or(0) << ")\n";
    exitCode = kOk;
  });

  auto stopRoot = std::make_shared<fs::path>();
  auto* stopCmd = device->add_subcommand("stop", "stop every process of the device");
  addRootOption(stopCmd, *stopRoot);
  stopCmd->footer("Example: pxviber device stop --root /tmp/phone");
  stopCmd->callback([stopRoot, &exitCode] {
    requireDevice(*stopRoot);
    for (auto& line : removeStalePidFiles(*stopRoot)) std::cout << line << "\n";
    if (!stopDevice(*stopRoot)) {
      throw platform::Error("the device at " + stopRoot->string() + " is not running");
    }
    std::cout << "device stopped\n";
    exitCode = kOk;
  });
}

void addNotifyCommands(CLI::App& app, int& exitCode) {
  auto* notify = app.add_subcommand("notify", "post or watch Darwin notifications on a device");
  notify->require_subcommand(1);

  struct PostOptions {
    fs::path root;
    std::string name;
  };
  auto post = std::make_shared<PostOptions>();
  auto* postCmd = notify->add_subcommand("post", "post a notification");
  postCmd->add_option("NAME", post->name, "notification name")->required();
  addRootOption(postCmd, post->root);
  postCmd->footer(
      "Example: pxviber notify post org.northquay.parlexviber.preferencesChanged --root "
      "/tmp/phone");
  postCmd->callback([post, &exitCode] {
    auto loop = platform::runloop::makeEventRunLoop();
    joinDeviceBus(post->root, *loop)->postNotification(post->name);
    exitCode = kOk;
  });

  struct WatchOptions {
    fs::path root;
    std::string name;
    int count = 0;
    double timeout = 0;
  };
  auto watch = std::make_shared<WatchOptions>();
  auto* watchCmd = notify->add_subcommand("watch", "print each delivery of a notification");
  watchCmd->add_option("NAME", watch->name, "notification name")->required();
  addRootOption(watchCmd, watch->root);
  watchCmd->add_option("--count", watch->count,
                       "exit after this many deliveries (exit code 1 if the timeout comes first)");
  watchCmd->add_option("--timeout", watch->timeout, "exit after this many seconds");
  watchCmd->footer(
      "Example: pxviber notify watch org.northquay.parlexviber.sendMessage --root /tmp/phone");
  watchCmd->callback([watch, &exitCode] {
    auto loop = platform::runloop::makeEventRunLoop();
    auto center = joinDeviceBus(watch->root, *loop);
    int seen = 0;
    center->addObserver(
        nullptr,
        [&](platform::notify::NotifyCenter*, const void*, std::string_view n, const void*,
            const void*) {
          std::cout << n << std::endl;
          ++seen;
        },
        watch->name, platform::notify::SuspensionBehavior::DeliverImmediately);
    loop->onSignal(SIGINT, [&] { loop->stop(); });
    loop->onSignal(SIGTERM, [&] { loop->stop(); });
    if (watch->count <= 0 && watch->timeout <= 0) {
      loop->run();
      exitCode = kOk;
      return;
    }
    bool done =
        loop->runUntil([&] { return watch->count > 0 && seen >= watch->count; },
                       platform::runloop::Seconds(watch->timeout > 0 ? watch->timeout : 1e9));
    exitCode = watch->count > 0 && !done ? kFailed : kOk;
  });
}

}  // namespace pxviber
