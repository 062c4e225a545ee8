// Reply latency inside the messenger: from the post of the send notification to
// the moment the messenger's send method is entered, with the mailbox read and
// clear, the store search, the URI resolution and the conversation fetch in
// between. The messenger is real (its DBManager methods over the sample
// database, the capture and trace replacements installed); the notification
// travels over a private bus daemon and the sd-event run loop, as on a device.
//
// Each iteration leaves a text request in the mailbox (untimed), posts the
// notification and runs the loop until the send method is entered. Reported:
// the median and 99th percentile of those times ("median_ms", "p99_ms"), and of
// the whole callback including the messenger's database write ("done_p99_ms").
// A second benchmark calls the executor directly, without the bus. The mailbox
// clear and the database commit flush to disk; PXVIBER_BENCH_DIR=/dev/shm runs
// the same on a memory file system, to tell the flushes from the work.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/latency_stats.h"
#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/null_log.h"
#include "platform/foundation/testing/remove_tree.h"
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/messenger_methods.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/viberdb/sample_content.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/send_executor.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/send_queue.h"

namespace {

namespace fs = std::filesystem;
namespace pm = platform::messenger;
using Clock = std::chrono::steady_clock;
using platform::foundation::Dictionary;
using platform::foundation::Value;

// A scratch device with the sample database, a messenger class whose send
// method stamps the time it is entered, and the capture installed over it.
class Messenger {
 public:
  Messenger() {
    // PXVIBER_BENCH_DIR picks the file system (e.g. /dev/shm to leave the disk's
    // flushes out of the figures); /tmp by default.
    const char* dir = std::getenv("PXVIBER_BENCH_DIR");
    std::string tmpl = std::string(dir ? dir : "/tmp") + "/send-latency-XXXXXX";
    root_ = ::mkdtemp(tmpl.data());
    fs::create_directories(root_ / "var/mobile/Library/Preferences");
    container_ = root_ / "var/mobile/Containers/Data/Application/VIBER";
    fs::create_directories(container_ / pm::kAttachmentsRelativePath);
    auto sample = platform::viberdb::createSampleDatabase(
        container_ / platform::viberdb::kDatabaseRelativePath, platform::viberdb::now());
    conversation_ = sample.zoeChat;
    platform::foundation::setDeviceRoot(root_);
    previousLog_ = platform::foundation::setLogSink(
        std::make_shared<platform::foundation::testing::NullLog>());
    tweak::settings().showAlerts = true;
  }
  ~Messenger() {
    tweak::resetProcessState();
    manager_.reset();
    platform::runtime::unregisterAllClasses();
    platform::foundation::setLogSink(previousLog_);
    if (busPid_ > 0) ::kill(busPid_, SIGTERM);
    if (std::string left = platform::foundation::testing::removeTree(root_); !left.empty()) {
      std::fprintf(stderr, "%s\n", left.c_str());
    }
  }

  void start(std::shared_ptr<platform::runloop::RunLoop> loop) {
    auto cls = std::make_shared<pm::DBManagerClass>();
    pm::defineDBManagerMethods(*cls, {.dataContainer = container_, .loop = loop});
    auto send =
        cls->methods().implementation<pm::sig::SendMessageOfType>(pm::selector::sendMessageOfType);
    cls->methods().define<pm::sig::SendMessageOfType>(
        pm::selector::sendMessageOfType,
        [this, send](pm::DBManager& self, pm::Id a, pm::Id b, pm::Id c, pm::Id d, pm::Id e,
                     pm::Id f, pm::Id g, pm::Id h, pm::Id i) {
          entered_ = Clock::now();
          send(self, a, b, c, d, e, f, g, h, i);
        });
    platform::runtime::registerClass(cls);
    tweak::installDBManagerCapture();
    manager_ = cls->alloc()->initWithAddressBook(nullptr);
  }

  // Starts a private bus daemon; answers its address.
  std::string startBus() {
    std::string address = "unix:path=" + (root_ / "bus.socket").string();
    std::string command =
        "dbus-daemon --session --fork --print-pid --address=" + address + " 2>/dev/null";
    FILE* out = ::popen(command.c_str(), "r");
    if (out && std::fscanf(out, "%d", &busPid_) != 1) busPid_ = -1;
    if (out) ::pclose(out);
    return address;
  }

  void leaveRequest(int n) {
    platform::foundation::writeDictionaryFileAtomically(
        tweak::preferencesPath(),
        Dictionary{{"debugMode", Value(false)},
                   {"messageText", Value("benchmark reply " + std::to_string(n) + " 👋")},
                   {"conversationID", Value(std::to_string(conversation_))}});
  }

  // `damaged` entries that cannot be replies (a Boolean conversation, a number
  // for a text, no identifier, not a dictionary, in turn) and two good
  // requests, one first and one last.
  void leaveDamagedQueue(int damaged, int n) {
    auto good = [&](const std::string& id) {
      return Value(Dictionary{{"requestID", Value(id)},
                              {"created", Value(tweak::queueNow())},
                              {"conversationID", Value(std::to_string(conversation_))},
                              {"messageText", Value("drain reply " + id)}});
    };
    platform::foundation::Array queue{good("first-" + std::to_string(n))};
    for (int i = 0; i < damaged; ++i) {
      std::string id = "damaged-" + std::to_string(i);
      switch (i % 4) {
        case 0:
          queue.push_back(Value(Dictionary{{"requestID", Value(id)},
                                           {"conversationID", Value(true)},
                                           {"messageText", Value("to whom?")}}));
          break;
        case 1:
          queue.push_back(Value(Dictionary{{"requestID", Value(id)},
                                           {"conversationID", Value("1")},
                                           {"messageText", Value(12)}}));
          break;
        case 2:
          queue.push_back(Value(Dictionary{{"conversationID", Value("1")}}));
          break;
        default:
          queue.push_back(Value("garbage"));
      }
    }
    queue.push_back(good("last-" + std::to_string(n)));
    platform::foundation::writeDictionaryFileAtomically(
        tweak::preferencesPath(), Dictionary{{"debugMode", Value(false)},
                                             {"showAlerts", Value(true)},
                                             {tweak::key::pendingRequests, Value(queue)}});
  }

  Clock::time_point entered_{};

 private:
  fs::path root_;
  fs::path container_;
  std::int64_t conversation_ = 0;
  int busPid_ = -1;
  pm::DBManagerRef manager_;
  std::shared_ptr<platform::foundation::LogSink> previousLog_;
};

void report(benchmark::State& state, const std::vector<double>& toSend,
            const std::vector<double>& toDone) {
  state.counters["median_ms"] = bench::percentile(toSend, 0.5);
  state.counters["p99_ms"] = bench::percentile(toSend, 0.99);
  state.counters["done_median_ms"] = bench::percentile(toDone, 0.5);
  state.counters["done_p99_ms"] = bench::percentile(toDone, 0.99);
}

void BM_SendNotificationToSendCall(benchmark::State& state) {
  Messenger messenger;
  auto loop = platform::runloop::makeEventRunLoop();
  platform::runloop::setMainRunLoop(loop);
  auto center = platform::notify::connectDarwinNotifyCenter(messenger.startBus(), *loop);
  platform::notify::setDarwinNotifyCenter(center);
  messenger.start(loop);
  bool done = false;
  center->addObserver(
      nullptr,
      [&](platform::notify::NotifyCenter* c, const void* o, std::string_view n, const void* obj,
          const void* info) {
        tweak::sendMessageCallback(c, o, n, obj, info);
        done = true;
      },
      tweak::kSendMessageNotification, platform::notify::SuspensionBehavior::DeliverImmediately);
  std::vector<double> toSend, toDone;
  int n = 0;
  for (auto _ : state) {
    messenger.leaveRequest(++n);
    done = false;
    auto posted = Clock::now();
    center->postNotification(tweak::kSendMessageNotification);
    loop->runUntil([&] { return done; }, platform::runloop::Seconds(5));
    auto finished = Clock::now();
    toSend.push_back(bench::ms(messenger.entered_ - posted));
    toDone.push_back(bench::ms(finished - posted));
    state.SetIterationTime(std::chrono::duration<double>(finished - posted).count());
  }
  report(state, toSend, toDone);
  platform::notify::setDarwinNotifyCenter(nullptr);
  platform::runloop::setMainRunLoop(nullptr);
}
BENCHMARK(BM_SendNotificationToSendCall)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2000);

// The executor alone: the callback called directly, no bus.
void BM_ExecutorToSendCall(benchmark::State& state) {
  Messenger messenger;
  auto loop = platform::runloop::makeEventRunLoop();
  platform::runloop::setMainRunLoop(loop);
  messenger.start(loop);
  std::vector<double> toSend, toDone;
  int n = 0;
  for (auto _ : state) {
    messenger.leaveRequest(++n);
    auto called = Clock::now();
    tweak::sendMessageCallback(nullptr, nullptr, tweak::kSendMessageNotification, nullptr, nullptr);
    auto finished = Clock::now();
    toSend.push_back(bench::ms(messenger.entered_ - called));
    toDone.push_back(bench::ms(finished - called));
    state.SetIterationTime(std::chrono::duration<double>(finished - called).count());
  }
  report(state, toSend, toDone);
  platform::runloop::setMainRunLoop(nullptr);
}
BENCHMARK(BM_ExecutorToSendCall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2000);

// One pass over a queue of damaged entries and two good requests: every entry
// ended or sent, in one take and one record. Reported: the pass's time
// ("pass_ms"); it grows with the queue's length, not its square.
void BM_PassOverDamagedQueue(benchmark::State& state) {
  Messenger messenger;
  auto loop = platform::runloop::makeEventRunLoop();
  platform::runloop::setMainRunLoop(loop);
  messenger.start(loop);
  std::vector<double> pass;
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    messenger.leaveDamagedQueue(static_cast<int>(state.range(0)), ++n);
    state.ResumeTiming();
    auto called = Clock::now();
    tweak::sendMessageCallback(nullptr, nullptr, tweak::kSendMessageNotification, nullptr, nullptr);
    pass.push_back(bench::ms(Clock::now() - called));
  }
  state.counters["pass_ms"] = bench::percentile(pass, 0.5);
  platform::runloop::setMainRunLoop(nullptr);
}
BENCHMARK(BM_PassOverDamagedQueue)
    ->Arg(2500)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
