// Two threads of one pipeline kept on two processors.
//
// A decode streamed to a second thread is fast only while both threads run at once.
// The scheduler does not see that: it may start the new thread, or wake either
// thread, on the processor the other one is using, and the two then take turns
// until a later balancing pass moves one of them (milliseconds on a virtual
// machine, the whole of a photo's decode at worst).
#pragma once

#include <sched.h>

#include <thread>

namespace platform::foundation {

// While it lives, the calling thread stays on the processor it is running on and
// `other` runs on the rest of the processors the calling thread may use. The
// calling thread's own set is given back when it ends; `other` keeps its set (it
// is meant to be a thread that ends with the work). Does nothing where only one
// processor is available or the system refuses. Only the calling thread may end
// it.
class ProcessorSplit {
 public:
  explicit ProcessorSplit(std::thread& other);
  ~ProcessorSplit();
  ProcessorSplit(const ProcessorSplit&) = delete;
  ProcessorSplit& operator=(const ProcessorSplit&) = delete;

  // Whether the two threads were placed apart.
  bool split() const { return split_; }

 private:
  cpu_set_t saved_{};
  bool split_ = false;
};

}  // namespace platform::foundation
