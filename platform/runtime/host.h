// What every host process does at start, in the order the phone does it: take
// the device root, set its bundle identifier and process name, install the
// device log, make the main run loop and join the device's notification bus,
// register the platform classes it provides, load the tweaks that its bundle
// identifier selects, and run the main loop until SIGTERM or SIGINT.
#pragma once

#include <functional>
#include <string>

#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"

namespace platform::runtime {

// Where hosts keep their pid files ("<process name>.pid", written once the host
// is ready) and the bus socket.
inline constexpr const char* kRunFolderDevicePath = "/private/var/run";

struct HostConfig {
  std::string bundleIdentifier;  // default; --bundle-id overrides it
  std::string processName;
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

// Parses "--root DIR" (default: $PXVIBER_ROOT) and "--bundle-id ID", wires the
// process as described above and runs it. Answers the process exit code: 0 after
// a clean stop, 2 for bad options, 1 when the device cannot be joined.
int runHost(int argc, char** argv, const HostConfig& config);

}  // namespace platform::runtime
