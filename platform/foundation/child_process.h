// Starting a program as a child process: the one place that forks and executes.
//
// The child reads nothing (its standard input is /dev/null), writes its
// standard output and error to one file, inherits no other descriptor of the
// parent, starts with no signal blocked (a parent's run loop blocks the signals
// it handles) and inherits the parent's environment with the given variables
// set on top. Any thread may call this.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace platform::foundation {

struct ChildSpec {
  // The program (a path, or a name to look up on PATH when `searchPath`), then
  // its arguments.
  std::vector<std::string> arguments{};
  // Standard output and error are appended to this file; empty: /dev/null.
  std::filesystem::path output{};
  // The child leads a session of its own, apart from the caller's terminal.
  bool newSession = false;
  bool searchPath = false;
  // Variables set in the child's environment.
  std::vector<std::pair<std::string, std::string>> environment{};
};

// Starts the child and answers its pid; the caller reaps it. Throws
// platform::Error when it cannot be started: no arguments, the output file
// cannot be opened, or the program cannot be executed.
int startChild(const ChildSpec& child);

// The arguments that the running process `pid` was started with, its program
// first (under an emulator, the emulator's words come first); empty when no
// such process runs or its arguments cannot be read, and for a moment after
// startChild returns, while the new program is being loaded (under an
// emulator the child shows its parent's arguments for that moment).
std::vector<std::string> processArguments(int pid);

// Whether the running process `pid` is the host `program` of the device at
// `root`: its arguments name a file called `program` (letter case aside) and
// "--root <root>", as a device starts its hosts. A pid file outlives its
// process, and by then its number may belong to any process of the user.
bool isDeviceHost(int pid, const std::filesystem::path& root, const std::string& program);

}  // namespace platform::foundation
