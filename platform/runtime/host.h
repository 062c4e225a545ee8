// What every host process does at start, in the order the phone does it: take
// the device root, set its bundle identifier and process name, install the
// device log, make the main run loop and join the device's notification bus,
// register the platform classes it provides, load the tweaks that its bundle
// identifier selects, serve host requests, say it is ready (its pid file) and
// run the main loop until SIGTERM or SIGINT.
//
// A host whose main loop is not the platform's (the Settings app runs GTK's)
// takes the steps one by one: startHost(), then serveRequests() and markReady()
// once its own loop is set up; a plain host calls runHost(), which does it all.
// Used from the main thread.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"

namespace CLI {
class App;
}

namespace platform::runtime {

// Where hosts keep their pid files ("<process name>.pid", written once the host
// is ready) and the bus socket.
inline constexpr const char* kRunFolderDevicePath = "/private/var/run";

struct HostConfig {
  std::string bundleIdentifier;  // default; --bundle-id overrides it
  std::string processName;
  // Adds the host's own command-line options besides --root and --bundle-id.
  std::function<void(CLI::App&)> addOptions;
  // Without the bus (the device is not running) a host that does not need it
  // still starts, with no notify centre; the others fail to start.
  bool needsBus = true;
  // Registers the host's platform classes; runs before tweaks load.
  std::function<void()> registerClasses;
  // Runs after tweaks have loaded, before the loop starts (e.g. the host's own
  // start-up work, such as creating the messenger's manager).
  std::function<void(runloop::RunLoop&)> afterLoad;
  // The requests the host answers (see host_requests.h), besides "ping", which
  // every host answers with its pid.
  std::function<std::map<std::string, HostRequestHandler>()> requestHandlers;
  // Runs on SIGTERM/SIGINT before the loop stops.
  std::function<void()> beforeExit;
};

// A started host: the device joined, the tweaks loaded. Destroying it removes
// its pid file.
class Host {
 public:
  Host(HostConfig config, std::shared_ptr<runloop::RunLoop> loop,
       std::shared_ptr<notify::NotifyCenter> center);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  runloop::RunLoop& loop() const { return *loop_; }
  // The device's notify centre; null when the bus was optional and absent.
  const std::shared_ptr<notify::NotifyCenter>& center() const { return center_; }

  // Serves `handlers` plus "ping" (answered with the pid) on the device bus; does
  // nothing without a bus.
  void serveRequests(std::map<std::string, HostRequestHandler> handlers);
  // Writes the pid file: "running and ready", tweaks loaded and observers
  // registered, so a notification posted from now on is received. Answers false
  // when the file cannot be written.
  bool markReady();
  // Serves the config's requests, marks the host ready and runs the main loop
  // until SIGTERM or SIGINT (calling beforeExit first). Throws platform::Error
  // when the pid file cannot be written.
  void run();

 private:
  std::filesystem::path pidFile() const;

  HostConfig config_;
  std::shared_ptr<runloop::RunLoop> loop_;
  std::shared_ptr<notify::NotifyCenter> center_;
  bool ready_ = false;
};

// The outcome of startHost: a host, or the exit code when the process must end
// at once: 0 after --help, 2 for bad options, 1 when the device cannot be joined
// (the reason is on stderr).
struct StartedHost {
  std::unique_ptr<Host> host;
  int exitCode = 0;
};

// Parses "--root DIR" (default: $PXVIBER_ROOT), "--bundle-id ID" and the
// config's own options, then wires the process as described above, up to and
// including the tweaks and afterLoad.
StartedHost startHost(int argc, char** argv, const HostConfig& config);

// Ends the process with `code` without running static destructors: on the phone
// a process is killed, never unwound, and tweaks keep their objects for life.
[[noreturn]] void exitHost(int code);

// startHost, then run(), then exitHost(0). Answers the exit code of a host that
// could not start.
int runHost(int argc, char** argv, const HostConfig& config);

}  // namespace platform::runtime
