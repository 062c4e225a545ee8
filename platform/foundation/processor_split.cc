#include "platform/foundation/processor_split.h"

#include <pthread.h>

namespace platform::foundation {

ProcessorSplit::ProcessorSplit(std::thread& other) {
  const int here = sched_getcpu();
  if (here < 0 || here >= CPU_SETSIZE || !other.joinable()) return;
  if (sched_getaffinity(0, sizeof saved_, &saved_) != 0 || CPU_COUNT(&saved_) < 2 ||
      !CPU_ISSET(here, &saved_)) {
    return;
  }
  cpu_set_t mine, rest = saved_;
  CPU_ZERO(&mine);
  CPU_SET(here, &mine);
  CPU_CLR(here, &rest);
  // The other thread first: if it cannot be moved, nothing is changed.
  if (pthread_setaffinity_np(other.native_handle(), sizeof rest, &rest) != 0) return;
  split_ = sched_setaffinity(0, sizeof mine, &mine) == 0;
}

ProcessorSplit::~ProcessorSplit() {
  // A set that no longer fits the system (a processor taken offline meanwhile) is
  // refused; the thread then keeps the one processor, which is still a valid place.
  if (split_) sched_setaffinity(0, sizeof saved_, &saved_);
}

}  // namespace platform::foundation
