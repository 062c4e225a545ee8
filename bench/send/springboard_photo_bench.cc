// Photo replies in a real springboard process: a scratch device is started (bus
// daemon, springboard, messenger in the foreground), a notification opens the reply
// panel, and the panel answers with the 4032 × 3024 EXIF-6 photo of the photo path
// benchmark, over and over. The first reply is the first photo the springboard
// handles after it started; the springboard has not decoded or encoded an image
// before it.
//
// Reported ("first_ms", "warm_median_ms"): the time from the reply request to its
// answer, which holds the whole send request (the photo read, both files made and
// written, the mailbox, the notification) and the request's round trip over the
// device's bus. And the springboard's peak memory growth over a reply: its resident
// size before, against its peak resident size (VmHWM) during the reply, which is
// reset before each reply ("growth_kib", the largest over the replies), beside the
// decoded 32-bit bitmap ("bitmap_kib"). The growth includes the photo's bytes, which
// the request reads.
//
// PXVIBER_BENCH_DIR picks where the device lives (/tmp by default).
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/image/photo_fixture.h"
#include "bench/latency_stats.h"
#include "bench/process_memory.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/testing/remove_tree.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/push.h"

namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using Clock = std::chrono::steady_clock;
using foundation::Dictionary;
using foundation::Value;

constexpr int kWidth = 4032, kHeight = 3024;

// A started scratch device with the messenger in the foreground and the reply
// panel open on Alice's conversation.
class Device {
 public:
  Device() {
    parent_ = bench::scratchFolder("springboard-photo");
    root_ = parent_ / "device";
    auto viber = pxviber::createDevice(root_, {.iosVersion = 9});
    photo_ = bench::photoFixture(parent_, kWidth, kHeight);
    foundation::setDeviceRoot(root_);
    pxviber::startDevice(root_);
    loop_ = platform::runloop::makeEventRunLoop();
    center_ = pxviber::joinDeviceBus(root_, *loop_);
    ask({{"command", Value("app")},
         {"action", Value("activate")},
         {"identifier", Value("com.viber")}});
    pxviber::NotificationContent note;
    note.token = std::to_string(viber.sample->aliceLatestToken);
    note.text = "Alice Smith: Where are you?";
    ask({{"command", Value("bulletin")},
         {"bulletin", Value(pxviber::makeBulletin(note).toDictionary())}});
    pid_ = *pxviber::runningPid(root_, "SpringBoard");
  }

  ~Device() {
    try {
      pxviber::stopDevice(root_);
    } catch (const std::exception&) {
    }
    if (std::string left = platform::foundation::testing::removeTree(parent_); !left.empty()) {
      std::fprintf(stderr, "%s\n", left.c_str());
    }
  }

  Dictionary ask(const Dictionary& request) {
    auto answer = platform::runtime::sendHostRequest(*center_, *loop_, "SpringBoard", request);
    if (const Value* error = foundation::find(answer, "error")) {
      throw platform::Error(error->description());
    }
    return answer;
  }

  std::string springboard() const { return std::to_string(pid_); }
  const fs::path& photo() const { return photo_; }

 private:
  fs::path parent_;
  fs::path root_;
  fs::path photo_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
  int pid_ = 0;
};

void BM_SpringboardPhotoReply(benchmark::State& state) {
  Device device;
  std::vector<double> times;
  long growth = 0;
  const Dictionary reply{{"command", Value("reply")}, {"photo", Value(device.photo().string())}};
  for (auto _ : state) {
    const long before = bench::statusKiB(device.springboard(), "VmRSS");
    if (!bench::resetPeak(device.springboard())) {
      state.SkipWithError("cannot reset the springboard's peak memory");
      break;
    }
    const auto start = Clock::now();
    const Dictionary answer = device.ask(reply);
    const auto end = Clock::now();
    growth = std::max(growth, bench::statusKiB(device.springboard(), "VmHWM") - before);
    // Sent: the request was announced, and no alert says the photo was not stored.
    const Value* posted = foundation::find(answer, "posted");
    const Value* alerts = foundation::find(answer, "alerts");
    if (!posted || !posted->asBoolean() || !*posted->asBoolean() ||
        (alerts && alerts->asArray() && !alerts->asArray()->empty())) {
      state.SkipWithError("the reply stored no photo");
      break;
    }
    times.push_back(bench::ms(end - start));
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  if (times.empty()) return;
  state.counters["first_ms"] = times.front();
  state.counters["warm_median_ms"] =
      bench::percentile(std::vector<double>(times.begin() + 1, times.end()), 0.5);
  state.counters["growth_kib"] = double(growth);
  state.counters["bitmap_kib"] = double(kWidth) * kHeight * 4 / 1024;
}
BENCHMARK(BM_SpringboardPhotoReply)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(16);

}  // namespace

BENCHMARK_MAIN();
