// A text reply across the device: from the extension's sendMessage:toUser:, in
// this process standing in for the springboard, until the callback in a real
// messenger process runs (reply_device.h: the messenger runs in the background
// on a scratch device).
//
// The messenger's moments are read from the device's system log: its
// "PXVIBER: sendMessage callback in Viber" line (written first thing in the
// callback; debugMode is on in the device's settings for it) and its
// "DBManager: sent text message" line (the send done). They are watched by a
// thread of their own while sendMessage:toUser: runs: the call goes on after
// its post (the folder's flush, waking the messenger), and the callback often
// runs before the call returns. The watcher's moment is never earlier than the
// line; on two processors shared with the messenger and the bus its wake-up can
// be late, so the figures are upper bounds.
//
// Each reply waits for the previous one to be sent and confirmed (the
// messenger's "delivered as message" line), then pauses, so that replies do not
// queue behind each other. Reported over the replies: the median and 99th
// percentile to the callback ("median_ms", "p99_ms"), to the message sent
// ("sent_median_ms", "sent_p99_ms"), and of sendMessage:toUser: itself
// ("call_median_ms", "call_p99_ms").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/send/reply_device.h"
#include "platform/foundation/object.h"
#include "platform/springboard/applications.h"
#include "platform/springboard/process_applications.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

namespace foundation = platform::foundation;
namespace springboard = platform::springboard;
using bench::Clock;

constexpr const char* kCallbackLine = "PXVIBER: sendMessage callback in Viber";
constexpr const char* kSentLine = "DBManager: sent text message";
// The messenger's last line of a reply: the message read back and its outcome
// recorded. The next reply starts after it, on an idle messenger.
constexpr const char* kConfirmedLine = "delivered as message";

void BM_TextReplyToMessengerCallback(benchmark::State& state) {
  bench::ReplyDevice device;
  if (device.applications().stateOf("com.viber") != springboard::SBApplicationStateBackground) {
    state.SkipWithError("the messenger is not running in the background");
    return;
  }
  bench::LogFollower log(device.syslog());
  auto extension = tweak::ORVViberCouriaExtension::create();
  std::vector<double> toCallback, toSent, call;
  int n = 0;
  for (auto _ : state) {
    auto message = std::make_shared<platform::couria::ReplyMessage>(
        std::make_shared<foundation::NSString>("benchmark reply " + std::to_string(++n) + " 👋"));
    // The watcher starts before the call (untimed) and is joined after it.
    std::optional<Clock::time_point> callback, sent;
    std::thread watcher([&] {
      callback = log.waitFor(kCallbackLine, std::chrono::seconds(5));
      if (callback) sent = log.waitFor(kSentLine, std::chrono::seconds(5));
    });
    auto start = Clock::now();
    extension->sendMessage(message, device.conversations()[0]);
    auto returned = Clock::now();
    watcher.join();
    if (!callback || !sent) {
      state.SkipWithError(("reply " + std::to_string(n) + " did not reach the messenger").c_str());
      break;
    }
    toCallback.push_back(bench::ms(*callback - start));
    toSent.push_back(bench::ms(*sent - start));
    call.push_back(bench::ms(returned - start));
    state.SetIterationTime(std::chrono::duration<double>(*callback - start).count());
    // Untimed: let the messenger finish its turn and take what the bus brought.
    if (!log.waitFor(kConfirmedLine, std::chrono::seconds(5))) {
      state.SkipWithError(("reply " + std::to_string(n) + " was not confirmed").c_str());
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    device.drain();
  }
  // Every reply found the messenger in the background: resumed, never launched.
  auto actions = device.applications().actions();
  long launches = std::count_if(actions.begin(), actions.end(),
                                [](const std::string& a) { return a.starts_with("launch"); });
  if (launches != 0) state.SkipWithError("the messenger was launched during the run");
  state.counters["median_ms"] = bench::percentile(toCallback, 0.5);
  state.counters["p99_ms"] = bench::percentile(toCallback, 0.99);
  state.counters["sent_median_ms"] = bench::percentile(toSent, 0.5);
  state.counters["sent_p99_ms"] = bench::percentile(toSent, 0.99);
  state.counters["call_median_ms"] = bench::percentile(call, 0.5);
  state.counters["call_p99_ms"] = bench::percentile(call, 0.99);
}
BENCHMARK(BM_TextReplyToMessengerCallback)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1000);

}  // namespace

BENCHMARK_MAIN();
