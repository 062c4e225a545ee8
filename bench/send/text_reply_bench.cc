// A text reply across the device: from the extension's sendMessage:toUser:, in
// this process standing in for the springboard, until the callback in a real
// messenger process runs. The messenger ("viber", with the tweak loaded) runs in
// the background on a scratch device with its own bus daemon; this process holds
// the springboard's side: the application list over the device, the
// applications over real processes (so the extension finds the messenger in the
// background and resumes it, as on the phone) and the device's bus.
//
// The messenger's moments are read from the device's system log, which this
// process follows with inotify: its "PXVIBER: sendMessage callback in Viber"
// line (written first thing in the callback; debugMode is on in the device's
// settings for it) and its "DBManager: sent text message" line (the send done).
// Each reply waits for the previous one to be sent, then pauses, so that replies
// do not queue behind each other. Reported over the replies: the median and 99th
// percentile to the callback ("median_ms", "p99_ms"), to the message sent
// ("sent_median_ms", "sent_p99_ms"), and of sendMessage:toUser: itself
// ("call_median_ms"). PXVIBER_BENCH_DIR picks where the device lives (/tmp by
// default; /dev/shm leaves the disk's flushes out).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/latency_stats.h"
#include "bench/process_memory.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/foundation/object.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/null_log.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/app_list.h"
#include "platform/springboard/applications.h"
#include "platform/springboard/process_applications.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
namespace springboard = platform::springboard;
using Clock = std::chrono::steady_clock;
using foundation::Value;

constexpr const char* kCallbackLine = "PXVIBER: sendMessage callback in Viber";
constexpr const char* kSentLine = "DBManager: sent text message";

// Follows a growing log file: waits for the next line holding a text.
class LogFollower {
 public:
  explicit LogFollower(const fs::path& file) : file_(file) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || ::inotify_add_watch(fd_, file.c_str(), IN_MODIFY) < 0)
      throw platform::SystemError("inotify on " + file.string(), errno);
    std::error_code ec;
    offset_ = fs::file_size(file, ec);
  }
  ~LogFollower() { ::close(fd_); }

  // Reads on until a line from the messenger holds `text`; answers the moment it
  // was seen, or nullopt after `timeout`.
  std::optional<Clock::time_point> waitFor(const std::string& text,
                                           std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
      if (takeLine(text)) return Clock::now();
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, int(left.count()) + 1) > 0) {
        char events[4096];
        while (::read(fd_, events, sizeof events) > 0) {
        }
      }
    }
  }

 private:
  // Consumes complete lines read so far; answers whether one from the
  // messenger holds `text` (lines after it stay for the next wait).
  bool takeLine(const std::string& text) {
    readMore();
    size_t start = 0;
    for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string_view line(pending_.data() + start, end - start);
      if (line.find("Viber[") != std::string_view::npos &&
          line.find(text) != std::string_view::npos) {
        pending_.erase(0, end + 1);
        return true;
      }
    }
    pending_.erase(0, start);
    return false;
  }

  void readMore() {
    std::ifstream in(file_, std::ios::binary);
    in.seekg(std::streamoff(offset_));
    std::string more((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    offset_ += more.size();
    pending_ += more;
  }

  fs::path file_;
  int fd_ = -1;
  std::uintmax_t offset_ = 0;
  std::string pending_;
};

// A scratch iOS 9 device, started, with the messenger running in the background.
class Device {
 public:
  Device() {
    parent_ = bench::scratchFolder("text-reply");
    root_ = parent_ / "device";
    auto viber = pxviber::createDevice(root_, {.iosVersion = 9});
    conversation_ = std::to_string(viber.sample->zoeChat);
    foundation::setDeviceRoot(root_);
    foundation::writeDictionaryFileAtomically(tweak::preferencesPath(),
                                              {{"debugMode", Value(true)}});
    pxviber::startDevice(root_);
    pxviber::launchHost(root_, "viber");

    loop_ = platform::runloop::makeEventRunLoop();
    platform::runloop::setMainRunLoop(loop_);
    center_ = pxviber::joinDeviceBus(root_, *loop_);
    platform::notify::setDarwinNotifyCenter(center_);
    platform::runtime::registerClass(std::make_shared<springboard::ALApplicationListClass>(
        springboard::makeDeviceApplicationList()));
    // A background time far beyond the run: the messenger is not stopped
    // again between replies.
    applications_ = springboard::makeProcessApplications(*loop_, 9, 24 * 3600);
    platform::runtime::registerClass(
        std::make_shared<springboard::SBApplicationControllerClass>(applications_));
    springboard::setSharedApplication(applications_);
    // This side's own lines are not part of the measurement.
    previousLog_ = foundation::setLogSink(std::make_shared<foundation::testing::NullLog>());
    tweak::settings().debugMode = false;
  }

  ~Device() {
    foundation::setLogSink(previousLog_);
    springboard::setSharedApplication(nullptr);
    platform::runtime::unregisterAllClasses();
    platform::notify::setDarwinNotifyCenter(nullptr);
    center_.reset();
    platform::runloop::setMainRunLoop(nullptr);
    try {
      pxviber::stopDevice(root_);
    } catch (const std::exception&) {
    }
    std::error_code ec;
    fs::remove_all(parent_, ec);
  }

  fs::path syslog() const { return foundation::hostPath(foundation::kSyslogDevicePath); }
  const std::string& conversation() const { return conversation_; }
  springboard::ProcessApplications& applications() { return *applications_; }

  // Handles what the bus brought meanwhile, without waiting.
  void drain() {
    bool once = false;
    loop_->runUntil([&] { return std::exchange(once, true); }, platform::runloop::Seconds(0.001));
  }

 private:
  fs::path parent_;
  fs::path root_;
  std::string conversation_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
  std::shared_ptr<springboard::ProcessApplications> applications_;
  std::shared_ptr<foundation::LogSink> previousLog_;
};

void BM_TextReplyToMessengerCallback(benchmark::State& state) {
  Device device;
  if (device.applications().stateOf("com.viber") != springboard::SBApplicationStateBackground) {
    state.SkipWithError("the messenger is not running in the background");
    return;
  }
  LogFollower log(device.syslog());
  auto extension = tweak::ORVViberCouriaExtension::create();
  std::vector<double> toCallback, toSent, call;
  int n = 0;
  for (auto _ : state) {
    auto message = std::make_shared<platform::couria::ReplyMessage>(
        std::make_shared<foundation::NSString>("benchmark reply " + std::to_string(++n) + " 👋"));
    auto start = Clock::now();
    extension->sendMessage(message, device.conversation());
    auto returned = Clock::now();
    auto callback = log.waitFor(kCallbackLine, std::chrono::seconds(5));
    auto sent = callback ? log.waitFor(kSentLine, std::chrono::seconds(5)) : std::nullopt;
    if (!callback || !sent) {
      state.SkipWithError(("reply " + std::to_string(n) + " did not reach the messenger").c_str());
      break;
    }
    toCallback.push_back(bench::ms(*callback - start));
    toSent.push_back(bench::ms(*sent - start));
    call.push_back(bench::ms(returned - start));
    state.SetIterationTime(std::chrono::duration<double>(*callback - start).count());
    // Untimed: let the messenger finish its turn and take what the bus brought.
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
}
BENCHMARK(BM_TextReplyToMessengerCallback)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1000);

}  // namespace

BENCHMARK_MAIN();
