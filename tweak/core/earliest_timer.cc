#include "tweak/core/earliest_timer.h"

#include <algorithm>

namespace tweak {

void EarliestTimer::scheduleAt(double at) {
  if (timer_ && at_ <= at) return;
  cancel();
  loop_ = platform::runloop::mainRunLoop();
  if (!loop_) return;
  at_ = at;
  double delay = std::max(0.0, at - now_());
  timer_ = loop_->callAfter(platform::runloop::Seconds(delay), [this] {
    timer_.reset();
    task_();
  });
}

void EarliestTimer::cancel() {
  if (timer_ && loop_) loop_->cancel(*timer_);
  timer_.reset();
}

}  // namespace tweak
