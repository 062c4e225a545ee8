// One delayed call at the earliest of the times asked for: asking for a later
// time than the one already set changes nothing, an earlier one moves the call.
// Used for the deadlines of the send queue and the messenger's retries. Runs on
// the main run loop; main thread only.
#pragma once

#include <functional>
#include <optional>

#include "platform/runloop/run_loop.h"

namespace tweak {

class EarliestTimer {
 public:
  // `task` runs when the timer fires; `now` gives the time that `at` is in.
  EarliestTimer(std::function<void()> task, std::function<double()> now)
      : task_(std::move(task)), now_(std::move(now)) {}
  ~EarliestTimer() { cancel(); }
  EarliestTimer(const EarliestTimer&) = delete;
  EarliestTimer& operator=(const EarliestTimer&) = delete;

  // Makes sure the task runs at `at` or earlier.
  void scheduleAt(double at);
  void cancel();
  bool pending() const { return timer_.has_value(); }

 private:
  std::function<void()> task_;
  std::function<double()> now_;
  std::optional<platform::runloop::RunLoop::TimerId> timer_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  double at_ = 0;
};

}  // namespace tweak
