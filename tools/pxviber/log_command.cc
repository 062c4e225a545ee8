// pxviber log: follows the device's system log, the lines of both halves of the
// extension; --debug turns debugMode on for the session (and back off at the end).
#include <CLI/CLI.hpp>
#include <csignal>
#include <fstream>
#include <iostream>
#include <thread>

#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;

namespace {

constexpr const char* kSettingsDevicePath =
    "/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";
constexpr const char* kPreferencesChanged = "org.northquay.parlexviber.preferencesChanged";

volatile std::sig_atomic_t stopRequested = 0;

// Sets debugMode (or restores the earlier value, nullopt for absent) and tells
// both halves to reload.
void setDebugMode(const fs::path& root, const std::optional<foundation::Value>& value) {
  foundation::updateDictionaryFile(foundation::hostPathIn(root, kSettingsDevicePath),
                                   [&](foundation::Dictionary& d) {
                                     if (value) {
                                       d["debugMode"] = *value;
                                     } else {
                                       d.erase("debugMode");
                                     }
                                   });
  auto loop = platform::runloop::makeEventRunLoop();
  joinDeviceBus(root, *loop)->postNotification(kPreferencesChanged);
}

}  // namespace

void addLogCommand(CLI::App& app, int& exitCode) {
  struct LogOptions {
    fs::path root;
    bool debug = false;
    bool all = false;
    bool follow = true;
  };
  auto o = std::make_shared<LogOptions>();
  auto* log = app.add_subcommand("log", "follow the device's log lines of both halves");
  addRootOption(log, o->root);
  log->add_flag("--debug", o->debug, "switch debugMode on while following");
  log->add_flag("--all", o->all, "every line, not only the extension's");
  log->add_flag("!--no-follow", o->follow, "print what is there and stop");
  log->footer("Example: pxviber log --root /tmp/phone --debug");
  log->callback([o, &exitCode] {
    requireDevice(o->root);
    std::optional<foundation::Value> previous;
    if (o->debug) {
      auto settings =
          foundation::readDictionaryFile(foundation::hostPathIn(o->root, kSettingsDevicePath));
      if (settings) {
        if (const auto* v = foundation::find(*settings, "debugMode")) previous = *v;
      }
      setDebugMode(o->root, foundation::Value(true));
      std::cerr << "pxviber: debugMode on until this command ends\n";
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::ifstream in(foundation::hostPathIn(o->root, foundation::kSyslogDevicePath));
    std::string line;
    while (!stopRequested) {
      if (std::getline(in, line)) {
        // The extension's own lines carry its prefix; the trace lines of the
        // messenger's replaced methods start with "-[<DBManager:" or name a getter.
        if (o->all || line.find("PXVIBER") != std::string::npos ||
            line.find("DBManager") != std::string::npos ||
            line.find("getConversation") != std::string::npos ||
            line.find("Coversation") != std::string::npos) {
          std::cout << line << std::endl;
        }
        continue;
      }
      if (!o->follow) break;
      in.clear();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (o->debug) setDebugMode(o->root, previous);
    exitCode = kOk;
  });
}

}  // namespace pxviber
