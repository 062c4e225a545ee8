// posix_spawn rather than fork and exec by hand: it starts the child without
// copying the parent's memory, and it reports a program that cannot be
// executed to the caller instead of leaving a child that exits at once.
#include "platform/foundation/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"

extern char** environ;

namespace platform::foundation {

namespace {

// The parent's environment with `overrides` set, as "NAME=value" strings.
std::vector<std::string> environmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::map<std::string, std::string> variables;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    auto equals = entry.find('=');
    if (equals != std::string::npos) variables[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  for (const auto& [name, value] : overrides) variables[name] = value;
  std::vector<std::string> out;
  for (const auto& [name, value] : variables) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Owns the spawn attributes and file actions for one start. (glibc copies the
// paths given to the file actions.)
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;

  explicit SpawnSetup(const ChildSpec& child) {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    redirect(child.output.empty() ? "/dev/null" : child.output.string());
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    short flags = POSIX_SPAWN_SETSIGMASK;
    if (child.newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes, flags);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Standard input from /dev/null, output and error appended to `output`, and
  // no other descriptor of the parent: one left open (a caller's pipe, a log, a
  // database) would stay open for as long as the child runs.
  void redirect(const std::string& output) {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  }
};

}  // namespace

int startChild(const ChildSpec& child) {
  if (child.arguments.empty()) throw Error("startChild: no program given");
  std::vector<std::string> arguments = child.arguments;
  std::vector<std::string> environment = environmentWith(child.environment);
  std::vector<char*> argv = pointers(arguments);
  std::vector<char*> envp = pointers(environment);
  SpawnSetup setup(child);
  pid_t pid = 0;
  auto spawn = child.searchPath ? ::posix_spawnp : ::posix_spawn;
  int err = spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), envp.data());
  if (err != 0) throw SystemError("cannot start " + child.arguments[0], err);
  return pid;
}

std::vector<std::string> processArguments(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> arguments;
  for (std::size_t at = 0; at < all.size();) {
    auto end = all.find('\0', at);
    if (end == std::string::npos) end = all.size();
    arguments.push_back(all.substr(at, end - at));
    at = end + 1;
  }
  return arguments;
}

namespace {

std::string lowerCase(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

bool isDeviceHost(int pid, const std::filesystem::path& root, const std::string& program) {
  // Any argument may be the program: under an emulator the emulator's words
  // come first.
  std::vector<std::string> arguments = processArguments(pid);
  std::string wanted = lowerCase(program);
  bool named = std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) {
    return lowerCase(std::filesystem::path(a).filename().string()) == wanted;
  });
  if (!named) return false;
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "--root" && samePath(arguments[i + 1], root)) return true;
  }
  return false;
}

}  // namespace platform::foundation
