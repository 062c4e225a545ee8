// The device's running processes, found through their pid files and
// recognised before they are trusted: a pid file outlives its process (a
// killed host never removes it), and its number may by then belong to any
// other process of the user. A process counts as the device's own only when
// its arguments are those the device starts it with: the host's program and
// "--root <this device>", or the bus daemon's socket under this device.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <thread>

#include "platform/foundation/child_process.h"
#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/notify/notify_center.h"
#include "platform/runtime/host.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;

namespace {

// The processes of a device, in the order they are stopped.
constexpr const char* kProcesses[] = {"Viber", "SpringBoard", "dbus"};

// How long a process has to exit on SIGTERM before it is killed.
constexpr int kGraceMilliseconds = 3000;

bool alive(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// A child that has exited but was not reaped still answers kill(pid, 0).
bool zombieOrGone(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// Whether the process `pid` is `process` of the device at `root`.
bool startedAs(int pid, const fs::path& root, const std::string& process) {
  if (process != "dbus") return platform::foundation::isDeviceHost(pid, root, process);
  const std::string prefix = "--address=unix:path=";
  fs::path socket = platform::foundation::hostPathIn(root, platform::notify::kBusSocketDevicePath);
  auto arguments = platform::foundation::processArguments(pid);
  return std::any_of(
             arguments.begin(), arguments.end(),
             [](const std::string& a) { return fs::path(a).filename() == "dbus-daemon"; }) &&
         std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) {
           return a.starts_with(prefix) &&
                  platform::foundation::samePath(a.substr(prefix.size()), socket);
         });
}

// What the pid file of `process` names, when it names a number.
std::optional<int> recordedPid(const fs::path& root, const std::string& process) {
  std::ifstream in(pidFilePath(root, process));
  int pid = 0;
  if (in >> pid && pid > 0) return pid;
  return std::nullopt;
}

// A descriptor of the process `pid` that stays with it: a signal sent through
// it never reaches another process that later gets the same number. -1 when
// no such process runs; -2 where the system has no process descriptors.
int openProcess(int pid) {
  int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) return fd;
  return errno == ENOSYS ? -2 : -1;
}

void sendSignal(int pidfd, int pid, int sig) {
  if (pidfd >= 0)
    ::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0);
  else
    ::kill(pid, sig);
}

// Whether the process has exited within `milliseconds`.
bool exits(int pidfd, int pid, int milliseconds) {
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) == 1;
  }
  for (int waited = 0; waited < milliseconds; waited += 10) {
    ::waitpid(pid, nullptr, WNOHANG);
    if (!alive(pid) || zombieOrGone(pid)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Stops `process` of the device: SIGCONT (a stopped process cannot act on
// SIGTERM), SIGTERM, then SIGKILL when it has not exited after the grace
// time. Answers false when it was not running.
bool stopProcess(const fs::path& root, const std::string& process) {
  auto pid = runningPid(root, process);
  if (!pid) return false;
  int pidfd = openProcess(*pid);
  if (pidfd == -1) return false;
  // Recognised again through the descriptor: the number cannot change hands
  // between this look and the signals.
  if (!runningPid(root, process)) {
    if (pidfd >= 0) ::close(pidfd);
    return false;
  }
  sendSignal(pidfd, *pid, SIGCONT);
  sendSignal(pidfd, *pid, SIGTERM);
  if (!exits(pidfd, *pid, kGraceMilliseconds)) {
    sendSignal(pidfd, *pid, SIGKILL);
    exits(pidfd, *pid, kGraceMilliseconds);
  }
  ::waitpid(*pid, nullptr, WNOHANG);  // when it is our own child
  if (pidfd >= 0) ::close(pidfd);
  return true;
}

}  // namespace

fs::path pidFilePath(const fs::path& root, const std::string& process) {
  return platform::foundation::hostPathIn(root, platform::runtime::kRunFolderDevicePath) /
         (process + ".pid");
}

std::optional<int> runningPid(const fs::path& root, const std::string& process) {
  auto pid = recordedPid(root, process);
  if (!pid || !alive(*pid) || zombieOrGone(*pid) || !startedAs(*pid, root, process))
    return std::nullopt;
  return pid;
}

std::vector<std::string> removeStalePidFiles(const fs::path& root) {
  std::vector<std::string> removed;
  for (const char* process : kProcesses) {
    fs::path file = pidFilePath(root, process);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec)) || runningPid(root, process)) continue;
    auto pid = recordedPid(root, process);
    std::string why = !pid ? "it names no process"
                      : !alive(*pid) || zombieOrGone(*pid)
                          ? "no process " + std::to_string(*pid) + " is running"
                          : "process " + std::to_string(*pid) + " is not the device's " + process;
    if (fs::remove(file, ec))
      removed.push_back("removed the stale pid file " + file.string() + " (" + why + ")");
  }
  return removed;
}

bool stopDevice(const fs::path& root) {
  requireDevice(root);
  bool any = false;
  for (const char* process : kProcesses) {
    any = stopProcess(root, process) || any;
    std::error_code ec;
    fs::remove(pidFilePath(root, process), ec);
  }
  return any;
}

void stopBus(const fs::path& root) { stopProcess(root, "dbus"); }

}  // namespace pxviber
