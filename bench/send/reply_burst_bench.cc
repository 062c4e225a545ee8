// A burst of replies across the device: 100 text replies to 10 conversations,
// made back to back by the extension's sendMessage:toUser: in this process
// standing in for the springboard, with the messenger running in the
// background (reply_device.h). Nothing waits between the replies: they pile up
// in the queue faster than one notification each could be handled alone.
//
// Reported: how many replies the messenger's database holds once each
// ("delivered"), none ("lost") and more than once ("duplicated"), and request
// → confirmed, the time from a request's making (its identifier carries it) to
// the moment the messenger's "PXVIBER: send request <id> delivered" line, written
// once the database holds the message and its outcome is recorded, is seen in
// the log ("median_ms", "p99_ms"); and the burst's whole time over its replies
// ("per_reply_ms").
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/send/reply_device.h"
#include "platform/foundation/object.h"
#include "platform/messenger/messenger_database.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

namespace foundation = platform::foundation;

constexpr int kReplies = 100;
constexpr int kConversations = 10;

std::string replyText(int i) { return "burst reply " + std::to_string(i) + " 👋"; }

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The moment (seconds since 1970) a request was made, from its identifier:
// microseconds in hex, then the process and a counter.
double madeAt(const std::string& requestID) {
  return double(std::stoull(requestID.substr(0, requestID.find('-')), nullptr, 16)) / 1e6;
}

// Follows the log in its own thread until `count` requests are confirmed:
// request identifier -> request → confirmed in ms.
std::map<std::string, double> followConfirmations(bench::LogFollower& log, int count,
                                                  std::chrono::seconds timeout) {
  static const std::regex delivered("PXVIBER: send request (\\S+) delivered as message");
  std::map<std::string, double> confirmed;
  auto deadline = bench::Clock::now() + timeout;
  while (int(confirmed.size()) < count && bench::Clock::now() < deadline) {
    for (const auto& line : log.nextLines(std::chrono::milliseconds(100))) {
      double seen = wallSeconds();
      std::smatch m;
      if (std::regex_search(line, m, delivered)) confirmed[m[1]] = (seen - madeAt(m[1])) * 1e3;
    }
  }
  return confirmed;
}

// How many times each reply is in its conversation, from the database file.
std::vector<int> copiesInDatabase(const bench::ReplyDevice& device) {
  std::vector<int> copies(kReplies, 0);
  for (int c = 0; c < kConversations; ++c) {
    auto key = std::stoll(device.conversations()[c]);
    for (auto& m : platform::messenger::readMessagesReadOnly(device.database(), key)) {
      const foundation::Value* text = foundation::find(m, "text");
      for (int i = c; i < kReplies; i += kConversations) {
        if (text && text->asString() && *text->asString() == replyText(i)) ++copies[i];
      }
    }
  }
  return copies;
}

void BM_ReplyBurstToConfirmed(benchmark::State& state) {
  bench::ReplyDevice device(kConversations - 5);
  auto extension = tweak::ORVViberCouriaExtension::create();
  for (auto _ : state) {
    bench::LogFollower log(device.syslog());
    std::map<std::string, double> confirmed;
    std::thread follower(
        [&] { confirmed = followConfirmations(log, kReplies, std::chrono::seconds(60)); });
    auto start = bench::Clock::now();
    for (int i = 0; i < kReplies; ++i) {
      auto message = std::make_shared<platform::couria::ReplyMessage>(
          std::make_shared<foundation::NSString>(replyText(i)));
      extension->sendMessage(message, device.conversations()[i % kConversations]);
      device.drain();  // the springboard's loop turns between replies
    }
    follower.join();
    state.SetIterationTime(std::chrono::duration<double>(bench::Clock::now() - start).count());
    std::vector<double> latencies;
    for (auto& [id, ms] : confirmed) latencies.push_back(ms);
    auto copies = copiesInDatabase(device);
    state.counters["delivered"] = double(std::count(copies.begin(), copies.end(), 1));
    state.counters["lost"] = double(std::count(copies.begin(), copies.end(), 0));
    state.counters["duplicated"] =
        double(std::count_if(copies.begin(), copies.end(), [](int n) { return n > 1; }));
    state.counters["confirmed"] = double(confirmed.size());
    state.counters["per_reply_ms"] =
        std::chrono::duration<double, std::milli>(bench::Clock::now() - start).count() / kReplies;
    state.counters["median_ms"] = bench::percentile(latencies, 0.5);
    state.counters["p99_ms"] = bench::percentile(latencies, 0.99);
  }
}
BENCHMARK(BM_ReplyBurstToConfirmed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
