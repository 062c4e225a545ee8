#include "tools/pxviber/demo.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include <CLI/CLI.hpp>

#include "platform/foundation/error.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;

namespace {

void printLoadLines(const fs::path& root, const std::string& process) {
  for (auto& line : readSyslog(root)) {
    if (line.find(" " + process + "[") != std::string::npos &&
        line.find("PXVIBER:") != std::string::npos) {
      std::cout << "    " << line << "\n";
    }
  }
}

}  // namespace

// So far the demo shows start-up: a sample device, its springboard and its
// messenger each loading the tweak in its own role.
int runDemo(const DemoOptions& options) {
  char tmpl[] = "/tmp/pxviber-demo-XXXXXX";
  if (!::mkdtemp(tmpl)) throw platform::Error("cannot make a temporary folder");
  fs::path root = fs::path(tmpl) / "device";
  std::cout << "[1/3] creating an iOS " << options.iosVersion << " sample device at "
            << root.string() << "\n";
  createDevice(root, {.iosVersion = options.iosVersion});
  std::cout << "[2/3] starting the device (bus and springboard)\n";
  startDevice(root);
  std::cout << "[3/3] starting the messenger\n";
  launchHost(root, "viber");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::cout << "  springboard:\n";
  printLoadLines(root, "SpringBoard");
  std::cout << "  messenger:\n";
  printLoadLines(root, "Viber");
  stopDevice(root);
  if (options.keep) {
    std::cout << "device kept at " << root.string() << "\n";
  } else {
    fs::remove_all(fs::path(tmpl));
  }
  return kOk;
}

}  // namespace pxviber

namespace pxviber {

void addDemoCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<DemoOptions>();
  auto* demo = app.add_subcommand("demo", "run the whole road of a reply on a sample device");
  demo->add_option("--ios", options->iosVersion, "iOS version of the device: 7, 8 or 9");
  demo->add_flag("--keep", options->keep, "keep the device folder afterwards");
  demo->footer("Example: pxviber demo --ios 9 --keep");
  demo->callback([options, &exitCode] { exitCode = runDemo(*options); });
}

}  // namespace pxviber
