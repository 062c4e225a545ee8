// The springboard's applications over real processes of the device.
//
// An application's process is the one this springboard launched, or the one
// named by the application's pid file ("/private/var/run/<Executable>.pid") that
// a host writes once it runs. The state comes from the process itself: none or
// exited is not running, stopped (SIGSTOP) is suspended, otherwise background,
// or foreground once activated. Resuming continues a stopped process and stops
// it again after the device's background time unless it was activated meanwhile.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/runloop/run_loop.h"
#include "platform/springboard/applications.h"

namespace platform::springboard {

class ProcessApplications : public SBApplicationRegistry, public UIApplication {
 public:
  // Controls used by the springboard's own requests (the command line's
  // "pxviber app"): each answers false for an application that is not installed
  // or, for suspend and background, not running.
  virtual bool activate(const std::string& identifier) = 0;    // to the foreground, launching it
  virtual bool suspend(const std::string& identifier) = 0;     // stop it now
  virtual bool background(const std::string& identifier) = 0;  // continue it, in the background
  virtual int stateOf(const std::string& identifier) = 0;

  // What was done to applications so far, in order: "launch <id> background",
  // "launch <id> foreground", "resume <id>".
  virtual std::vector<std::string> actions() const = 0;
};

// `iosVersion` decides which lookup the registry offers: by display identifier
// on iOS 7 and 8, by bundle identifier on iOS 9.
std::shared_ptr<ProcessApplications> makeProcessApplications(runloop::RunLoop& loop, int iosVersion,
                                                             double backgroundSeconds);

}  // namespace platform::springboard
