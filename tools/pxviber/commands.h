// The pxviber command line: one function per subcommand, dispatched from main.
#pragma once

namespace pxviber {

// Exit codes that scripts can rely on.
enum ExitCode : int {
  kOk = 0,
  kFailed = 1,      // the command ran and something it checks failed
  kUsage = 2,       // bad options
  kNoDevice = 3,    // no device at the root
  kNotRunning = 4,  // the device (or the process needed) is not running
  kAlreadyRunning = 5,
};

int runCommandLine(int argc, char** argv);

}  // namespace pxviber
