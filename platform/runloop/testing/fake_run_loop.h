// A run loop for tests that owns time: nothing happens until the test turns the
// loop, and delayed calls fire when the test advances the clock past them.
#pragma once

#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "platform/runloop/run_loop.h"

namespace platform::runloop::testing {

class FakeRunLoop final : public RunLoop {
 public:
  void post(Task task) override { tasks_.push_back(std::move(task)); }

  TimerId callAfter(Seconds delay, Task task) override {
    TimerId id = ++next_;
    timers_.emplace(id, Timer{now_ + delay.count(), std::move(task)});
    delays_.push_back(delay.count());
    return id;
  }
  void cancel(TimerId id) override { timers_.erase(id); }

  void run() override { runPending(); }
  void stop() override {}
  bool runUntil(const std::function<bool()>& done, Seconds timeout) override {
    runPending();
    if (done()) return true;
    advance(timeout);
    return done();
  }
  void onSignal(int, Task) override {}
  void onChildExit(int, std::function<void(int)>) override {}
  void* nativeHandle() override { return nullptr; }

  // Runs queued tasks, including those they queue, until none is left.
  void runPending() {
    while (!tasks_.empty()) {
      Task t = std::move(tasks_.front());
      tasks_.pop_front();
      t();
    }
  }

  // Moves the clock forward, firing due timers in time order and running the
  // tasks queued along the way.
  void advance(Seconds by) {
    double end = now_ + by.count();
    runPending();
    for (;;) {
      auto due = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.at <= end && (due == timers_.end() || it->second.at < due->second.at))
          due = it;
      }
      if (due == timers_.end()) break;
      now_ = due->second.at;
      Task t = std::move(due->second.task);
      timers_.erase(due);
      t();
      runPending();
    }
    now_ = end;
  }

  double now() const { return now_; }
  size_t pendingTimers() const { return timers_.size(); }
  // The delays of every callAfter so far, in call order.
  const std::vector<double>& requestedDelays() const { return delays_; }

 private:
  struct Timer {
    double at;
    Task task;
  };
  std::deque<Task> tasks_;
  std::map<TimerId, Timer> timers_;
  std::vector<double> delays_;
  double now_ = 0;
  TimerId next_ = 0;
};

}  // namespace platform::runloop::testing
