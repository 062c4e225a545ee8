#include "platform/foundation/processor_split.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace platform::foundation {
namespace {

cpu_set_t affinityOf(pthread_t thread) {
  cpu_set_t set;
  CPU_ZERO(&set);
  EXPECT_EQ(pthread_getaffinity_np(thread, sizeof set, &set), 0);
  return set;
}

// A thread that waits until released, reporting the processor it ran on last.
class Parked {
 public:
  Parked()
      : thread_([this] {
          std::unique_lock lock(mutex_);
          released_.wait(lock, [this] { return go_; });
          cpu_ = sched_getcpu();
        }) {}
  ~Parked() { finish(); }
  std::thread& thread() { return thread_; }
  int finish() {
    {
      std::lock_guard lock(mutex_);
      go_ = true;
    }
    released_.notify_one();
    if (thread_.joinable()) thread_.join();
    return cpu_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool go_ = false;
  int cpu_ = -1;
  std::thread thread_;
};

TEST(ProcessorSplit, KeepsTheTwoThreadsApartAndGivesTheCallerItsSetBack) {
  const cpu_set_t before = affinityOf(pthread_self());
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one processor: nothing to split";
  Parked other;
  int mine = -1;
  {
    ProcessorSplit split(other.thread());
    ASSERT_TRUE(split.split());
    mine = sched_getcpu();
    const cpu_set_t pinned = affinityOf(pthread_self());
    EXPECT_EQ(CPU_COUNT(&pinned), 1);
    EXPECT_TRUE(CPU_ISSET(mine, &pinned));
    const cpu_set_t rest = affinityOf(other.thread().native_handle());
    EXPECT_FALSE(CPU_ISSET(mine, &rest));
    EXPECT_EQ(CPU_COUNT(&rest), CPU_COUNT(&before) - 1);
    const int theirs = other.finish();
    EXPECT_NE(theirs, mine);
    EXPECT_TRUE(CPU_ISSET(theirs, &before));
  }
  const cpu_set_t after = affinityOf(pthread_self());
  EXPECT_TRUE(CPU_EQUAL(&after, &before));
}

TEST(ProcessorSplit, OneProcessorOrNoThreadLeavesEverythingAsItWas) {
  const cpu_set_t before = affinityOf(pthread_self());
  std::thread none;
  {
    ProcessorSplit split(none);
    EXPECT_FALSE(split.split());
  }
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  {
    Parked other;
    const cpu_set_t theirs = affinityOf(other.thread().native_handle());
    ProcessorSplit split(other.thread());
    EXPECT_FALSE(split.split());
    const cpu_set_t still = affinityOf(other.thread().native_handle());
    EXPECT_TRUE(CPU_EQUAL(&still, &theirs));
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
}

}  // namespace
}  // namespace platform::foundation
