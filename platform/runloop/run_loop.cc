#include "platform/runloop/run_loop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/foundation/error.h"

namespace platform::runloop {

namespace {

std::shared_ptr<RunLoop>& mainSlot() {
  static std::shared_ptr<RunLoop> loop;
  return loop;
}

Error eventError(const std::string& context, int r) { return SystemError(context, -r); }

// Priorities: bus and signal sources run at the default priority; queued tasks
// run at idle priority so that every message already waiting is handled (and
// coalesced) before them.
constexpr int64_t kTaskPriority = SD_EVENT_PRIORITY_IDLE;

class EventRunLoop final : public RunLoop {
 public:
  EventRunLoop() {
    int r = sd_event_new(&event_);
    if (r < 0) throw eventError("sd_event_new", r);
    // Tasks posted from other threads wake the loop through an eventfd.
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw SystemError("eventfd", errno);
    r = sd_event_add_io(event_, &wakeSource_, wakeFd_, EPOLLIN, &EventRunLoop::onWake, this);
    if (r < 0) throw eventError("sd_event_add_io", r);
    sd_event_source_set_priority(wakeSource_, kTaskPriority);
  }

  ~EventRunLoop() override {
    for (auto& [id, t] : timers_) sd_event_source_unref(t.source);
    for (auto* s : others_) sd_event_source_unref(s);
    sd_event_source_unref(wakeSource_);
    ::close(wakeFd_);
    sd_event_unref(event_);
  }

  void post(Task task) override {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }

  TimerId callAfter(Seconds delay, Task task) override {
    uint64_t now = 0;
    sd_event_now(event_, CLOCK_MONOTONIC, &now);
    auto usec = static_cast<uint64_t>(std::max(0.0, delay.count()) * 1e6);
    TimerId id = ++nextTimer_;
    sd_event_source* source = nullptr;
    int r = sd_event_add_time(event_, &source, CLOCK_MONOTONIC, now + usec, 1000,
                              &EventRunLoop::onTimer, reinterpret_cast<void*>(id));
    if (r < 0) throw eventError("sd_event_add_time", r);
    sd_event_source_set_userdata(source, this);
    timers_.emplace(id, Timer{source, std::move(task)});
    sourceIds_[source] = id;
    return id;
  }

  void cancel(TimerId id) override {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    sourceIds_.erase(it->second.source);
    sd_event_source_unref(it->second.source);
    timers_.erase(it);
  }

  void run() override {
    stopped_ = false;
    while (!stopped_) {
      int r = sd_event_run(event_, UINT64_MAX);
      if (r < 0) throw eventError("sd_event_run", r);
    }
  }

  void stop() override {
    stopped_ = true;
    post([] {});  // wake a loop blocked in sd_event_run
  }

  bool runUntil(const std::function<bool()>& done, Seconds timeout) override {
    uint64_t start = 0;
    sd_event_now(event_, CLOCK_MONOTONIC, &start);
    auto limit = static_cast<uint64_t>(timeout.count() * 1e6);
    for (;;) {
      if (done()) return true;
      uint64_t now = 0;
      sd_event_now(event_, CLOCK_MONOTONIC, &now);
      // sd_event_now answers the time of the last wake-up; read the clock itself.
      struct timespec ts {};
      clock_gettime(CLOCK_MONOTONIC, &ts);
      now = static_cast<uint64_t>(ts.tv_sec) * 1000000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
      if (now >= start + limit) return done();
      // Wake at least every 10 ms so that a condition changed outside the loop
      // (a file, another process) is seen promptly.
      uint64_t wait = std::min<uint64_t>(start + limit - now, 10000);
      int r = sd_event_run(event_, wait);
      if (r < 0) throw eventError("sd_event_run", r);
    }
  }

  void onSignal(int signal, Task handler) override {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sd_event_source* source = nullptr;
    auto* stored = new Task(std::move(handler));
    int r = sd_event_add_signal(event_, &source, signal, &EventRunLoop::onSignalEvent, stored);
    if (r < 0) {
      delete stored;
      throw eventError("sd_event_add_signal", r);
    }
    sd_event_source_set_destroy_callback(source, [](void* p) { delete static_cast<Task*>(p); });
    others_.push_back(source);
  }

  void onChildExit(int pid, std::function<void(int status)> handler) override {
    // sd-event needs SIGCHLD blocked to watch children.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sd_event_source* source = nullptr;
    auto* stored = new std::function<void(int)>(std::move(handler));
    int r = sd_event_add_child(event_, &source, pid, WEXITED, &EventRunLoop::onChildEvent, stored);
    if (r < 0) {
      delete stored;
      throw eventError("sd_event_add_child", r);
    }
    sd_event_source_set_destroy_callback(
        source, [](void* p) { delete static_cast<std::function<void(int)>*>(p); });
    others_.push_back(source);
  }

  void* nativeHandle() override { return event_; }

 private:
  struct Timer {
    sd_event_source* source;
    Task task;
  };

  static int onWake(sd_event_source*, int fd, uint32_t, void* self) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(fd, &count, sizeof count);
    static_cast<EventRunLoop*>(self)->drainTasks();
    return 0;
  }

  void drainTasks() {
    // Only the tasks queued so far run in this turn; tasks they queue run in a
    // later turn, after newly arrived messages.
    std::deque<Task> batch;
    {
      std::lock_guard lock(mutex_);
      batch.swap(tasks_);
    }
    for (auto& task : batch) task();
  }

  static int onTimer(sd_event_source* source, uint64_t, void* self) {
    auto* loop = static_cast<EventRunLoop*>(self);
    auto idIt = loop->sourceIds_.find(source);
    if (idIt == loop->sourceIds_.end()) return 0;
    TimerId id = idIt->second;
    auto it = loop->timers_.find(id);
    Task task = std::move(it->second.task);
    loop->sourceIds_.erase(idIt);
    loop->timers_.erase(it);
    sd_event_source_unref(source);
    task();
    return 0;
  }

  static int onSignalEvent(sd_event_source*, const struct signalfd_siginfo*, void* handler) {
    (*static_cast<Task*>(handler))();
    return 0;
  }

  static int onChildEvent(sd_event_source* source, const siginfo_t* info, void* handler) {
    int status = info->si_code == CLD_EXITED ? (info->si_status << 8) : (info->si_status & 0x7f);
    // Reap the child: the source watches WEXITED without reaping.
    ::waitpid(info->si_pid, nullptr, WNOHANG);
    sd_event_source_set_enabled(source, SD_EVENT_OFF);
    (*static_cast<std::function<void(int)>*>(handler))(status);
    return 0;
  }

  sd_event* event_ = nullptr;
  int wakeFd_ = -1;
  sd_event_source* wakeSource_ = nullptr;
  std::mutex mutex_;
  std::deque<Task> tasks_;
  std::map<TimerId, Timer> timers_;
  std::map<sd_event_source*, TimerId> sourceIds_;
  std::vector<sd_event_source*> others_;
  TimerId nextTimer_ = 0;
  bool stopped_ = false;
};

}  // namespace

std::shared_ptr<RunLoop> mainRunLoop() { return mainSlot(); }
void setMainRunLoop(std::shared_ptr<RunLoop> loop) { mainSlot() = std::move(loop); }

std::shared_ptr<RunLoop> makeEventRunLoop() { return std::make_shared<EventRunLoop>(); }

}  // namespace platform::runloop
