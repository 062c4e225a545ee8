#include "platform/springboard/process_applications.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include "platform/foundation/child_process.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/springboard/installed_applications.h"

namespace platform::springboard {

namespace fs = std::filesystem;
using foundation::NSLog;

namespace {

// The one-letter state of a process from /proc, or 0 when it is gone.
char processState(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0;
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return 0;
  return line[close + 2];
}

bool isLive(char state) { return state != 0 && state != 'Z' && state != 'X'; }

bool isStopped(char state) { return state == 'T' || state == 't'; }

// Sends SIGSTOP or SIGCONT and waits (briefly) until the process shows the new
// state, so that a state read right after a suspend or resume is already true.
bool signalAndSettle(int pid, int signal) {
  if (::kill(pid, signal) != 0) return false;
  for (int i = 0; i < 200; ++i) {
    char st = processState(pid);
    if (!isLive(st) || isStopped(st) == (signal == SIGSTOP)) break;
    ::usleep(1000);
  }
  return true;
}

class Applications;

class ProcessApplication final : public SBApplication {
 public:
  ProcessApplication(Applications& owner, InstalledApplication app)
      : owner_(owner), app_(std::move(app)) {}
  std::string bundleIdentifier() const override { return app_.bundleIdentifier; }
  int applicationState() const override;
  std::optional<std::string> _stringForApplicationState(int state) const override {
    switch (state) {
      case SBApplicationStateNotRunning:
        return "not running";
      case SBApplicationStateSuspended:
        return "suspended";
      case SBApplicationStateBackground:
        return "running in background";
      case SBApplicationStateForeground:
        return "running in foreground";
      default:
        return std::nullopt;
    }
  }
  void resumeForContentAvailable() override;

 private:
  Applications& owner_;
  InstalledApplication app_;
};

class Applications final : public ProcessApplications,
                           public std::enable_shared_from_this<Applications> {
 public:
  Applications(runloop::RunLoop& loop, int iosVersion, double backgroundSeconds)
      : loop_(loop), byDisplayIdentifier_(iosVersion < 9), backgroundSeconds_(backgroundSeconds) {}

  bool respondsToSelector(std::string_view selector) const override {
    if (selector == "applicationWithDisplayIdentifier:") return byDisplayIdentifier_;
    if (selector == "applicationWithBundleIdentifier:") return !byDisplayIdentifier_;
    return false;
  }
  std::shared_ptr<SBApplication> applicationWithDisplayIdentifier(const std::string& id) override {
    return byDisplayIdentifier_ ? application(id) : nullptr;
  }
  std::shared_ptr<SBApplication> applicationWithBundleIdentifier(const std::string& id) override {
    return byDisplayIdentifier_ ? nullptr : application(id);
  }

  bool launchApplicationWithIdentifier(const std::string& id, bool suspended) override {
    auto app = findInstalledApplication(id);
    if (!app || app->executable.empty()) {
      NSLog("SpringBoard: cannot launch {}: not installed", id);
      return false;
    }
    State& s = states_[id];
    if (auto pid = pidOf(*app)) {
      // Already running: a launch brings it to where it was asked to be.
      ::kill(*pid, SIGCONT);
      s.foreground = !suspended;
      return true;
    }
    actions_.push_back("launch " + id + (suspended ? " background" : " foreground"));
    int pid = spawn(*app);
    if (pid < 0) return false;
    s.pid = pid;
    s.foreground = !suspended;
    NSLog("SpringBoard: launched {} (pid {}){}", id, pid, suspended ? " in the background" : "");
    std::weak_ptr<Applications> weak = weak_from_this();
    loop_.onChildExit(pid, [weak, id, pid](int status) {
      auto self = weak.lock();
      if (!self) return;
      State& st = self->states_[id];
      if (st.pid == pid) st = State{};
      NSLog("SpringBoard: {} exited (status {})", id, status);
    });
    return true;
  }

  bool activate(const std::string& id) override {
    auto app = findInstalledApplication(id);
    if (!app) return false;
    if (!pidOf(*app)) return launchApplicationWithIdentifier(id, false);
    ::kill(*pidOf(*app), SIGCONT);
    State& s = states_[id];
    s.foreground = true;
    cancelSuspension(s);
    return true;
  }

  bool suspend(const std::string& id) override { return leaveForeground(id, SIGSTOP); }
  bool background(const std::string& id) override { return leaveForeground(id, SIGCONT); }

  int stateOf(const std::string& id) override {
    auto app = findInstalledApplication(id);
    return app ? state(*app) : SBApplicationStateNotRunning;
  }

  int state(const InstalledApplication& app) {
    auto pid = pidOf(app);
    if (!pid) return SBApplicationStateNotRunning;
    if (isStopped(processState(*pid))) return SBApplicationStateSuspended;
    return states_[app.bundleIdentifier].foreground ? SBApplicationStateForeground
                                                    : SBApplicationStateBackground;
  }

  std::vector<std::string> actions() const override { return actions_; }

  void resume(const InstalledApplication& app) {
    actions_.push_back("resume " + app.bundleIdentifier);
    auto pid = pidOf(app);
    if (!pid) return;
    State& s = states_[app.bundleIdentifier];
    signalAndSettle(*pid, SIGCONT);
    if (s.foreground) return;
    // Background time is limited: stop the process again when it runs out,
    // unless it came to the foreground or was resumed again meanwhile.
    cancelSuspension(s);
    std::weak_ptr<Applications> weak = weak_from_this();
    std::string id = app.bundleIdentifier;
    int expected = *pid;
    s.suspension = loop_.callAfter(runloop::Seconds(backgroundSeconds_), [weak, id, expected] {
      auto self = weak.lock();
      if (!self) return;
      State& st = self->states_[id];
      st.suspension.reset();
      auto installed = findInstalledApplication(id);
      if (st.foreground || !installed || self->pidOf(*installed) != expected) return;
      ::kill(expected, SIGSTOP);
      NSLog("SpringBoard: {} suspended after its background time", id);
    });
  }

 private:
  struct State {
    int pid = 0;  // the process this springboard launched, if any
    bool foreground = false;
    std::optional<runloop::RunLoop::TimerId> suspension;
  };

  std::shared_ptr<SBApplication> application(const std::string& id) {
    auto app = findInstalledApplication(id);
    if (!app) return nullptr;
    return std::make_shared<ProcessApplication>(*this, std::move(*app));
  }

  // Takes a running application out of the foreground, stopped (SIGSTOP) or
  // running in the background (SIGCONT), with no suspension pending.
  bool leaveForeground(const std::string& id, int signal) {
    auto app = findInstalledApplication(id);
    auto pid = app ? pidOf(*app) : std::nullopt;
    if (!pid) return false;
    State& s = states_[id];
    s.foreground = false;
    cancelSuspension(s);
    return signalAndSettle(*pid, signal);
  }

  void cancelSuspension(State& s) {
    if (s.suspension) loop_.cancel(*s.suspension);
    s.suspension.reset();
  }

  // The application's live process: the one launched here, else the one its
  // pid file names when that process is the application's host of this
  // device (a stale pid file's number may be any other process by now, which
  // must never be stopped or continued).
  std::optional<int> pidOf(const InstalledApplication& app) {
    State& s = states_[app.bundleIdentifier];
    if (s.pid > 0 && isLive(processState(s.pid))) return s.pid;
    std::ifstream in(foundation::hostPath("/private/var/run/" + app.executable + ".pid"));
    int pid = 0;
    if (in >> pid && pid > 0 && isLive(processState(pid)) &&
        foundation::isDeviceHost(pid, foundation::deviceRoot(), app.executable))
      return pid;
    return std::nullopt;
  }

  int spawn(const InstalledApplication& app) {
    std::string lower = app.executable;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string root = foundation::deviceRoot().string();
    try {
      // The device's emulator, if it names one, runs the program.
      return foundation::startChild(
          {.arguments = foundation::programCommand(
               foundation::loadDeviceSettings(), app.bundlePath / app.executable, {"--root", root}),
           .output = foundation::hostPath("/private/var/log/" + lower + ".out"),
           .environment = {{foundation::kDeviceRootEnv, root}}});
    } catch (const Error& e) {
      NSLog("SpringBoard: cannot launch {}: {}", app.bundleIdentifier, e.what());
      return -1;
    }
  }

  runloop::RunLoop& loop_;
  bool byDisplayIdentifier_;
  double backgroundSeconds_;
  std::map<std::string, State> states_;
  std::vector<std::string> actions_;
};

int ProcessApplication::applicationState() const { return owner_.state(app_); }
void ProcessApplication::resumeForContentAvailable() { owner_.resume(app_); }

std::shared_ptr<UIApplication>& applicationSlot() {
  static std::shared_ptr<UIApplication> application;
  return application;
}

}  // namespace

std::shared_ptr<UIApplication> sharedApplication() { return applicationSlot(); }
void setSharedApplication(std::shared_ptr<UIApplication> application) {
  applicationSlot() = std::move(application);
}

std::shared_ptr<ProcessApplications> makeProcessApplications(runloop::RunLoop& loop, int iosVersion,
                                                             double backgroundSeconds) {
  return std::make_shared<Applications>(loop, iosVersion, backgroundSeconds);
}

}  // namespace platform::springboard
