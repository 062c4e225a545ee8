#include "platform/runloop/run_loop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "platform/runloop/testing/fake_run_loop.h"

namespace platform::runloop {
namespace {

TEST(EventRunLoop, RunsPostedTasksInOrderAndDelayedCallsOnTime) {
  auto loop = makeEventRunLoop();
  std::string order;
  // Taken before the timer is set: the delay counts from the call.
  auto start = std::chrono::steady_clock::now();
  loop->callAfter(Seconds(0.05), [&] { order += "T"; });
  auto cancelled = loop->callAfter(Seconds(0.01), [&] { order += "X"; });
  loop->cancel(cancelled);
  loop->post([&] {
    order += "a";
    loop->post([&] { order += "c"; });
  });
  loop->post([&] { order += "b"; });
  EXPECT_TRUE(loop->runUntil([&] { return order.size() == 4; }, Seconds(2)));
  EXPECT_EQ(order, "abcT");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
}

TEST(EventRunLoop, PostFromAnotherThreadWakesTheLoop) {
  auto loop = makeEventRunLoop();
  bool ran = false;
  std::thread t([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop->post([&] { ran = true; });
  });
  EXPECT_TRUE(loop->runUntil([&] { return ran; }, Seconds(2)));
  t.join();
}

TEST(EventRunLoop, StopEndsRunAndSignalsReachTheLoop) {
  auto loop = makeEventRunLoop();
  bool got = false;
  loop->onSignal(SIGUSR1, [&] {
    got = true;
    loop->stop();
  });
  loop->post([] { ::raise(SIGUSR1); });
  loop->run();
  EXPECT_TRUE(got);
}

TEST(FakeRunLoop, AdvancingTimeFiresDueTimersInOrder) {
  testing::FakeRunLoop loop;
  std::string order;
  loop.callAfter(Seconds(2), [&] { order += "2"; });
  loop.callAfter(Seconds(1), [&] { order += "1"; });
  loop.post([&] { order += "p"; });
  loop.advance(Seconds(1.5));
  EXPECT_EQ(order, "p1");
  loop.advance(Seconds(1));
  EXPECT_EQ(order, "p12");
  EXPECT_EQ(loop.requestedDelays(), (std::vector<double>{2, 1}));
}

}  // namespace
}  // namespace platform::runloop
