#include "tests/fault_explorer/road.h"

#include <fmt/format.h>

#include <filesystem>
#include <map>

#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/recording_log.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/messenger/db_manager.h"
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/messenger_methods.h"
#include "platform/notify/testing/fake_notify_center.h"
#include "platform/runloop/testing/fake_run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/testing/fake_applications.h"
#include "platform/springboard/testing/recording_alerts.h"
#include "platform/viberdb/sample_content.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/send_executor.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/send_queue.h"
#include "tweak/extension/deadline_watch.h"
#include "tweak/extension/viber_couria_extension.h"

namespace fault_explorer {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
namespace messenger = platform::messenger;
namespace springboard = platform::springboard;
using foundation::Value;
using platform::runloop::Seconds;
using tweak::processState;

namespace {

constexpr double kStart = 1'700'000'000;
// Past the longest wait before a retry (a minute) and the wait after a
// write that failed.
constexpr double kQuietSeconds = 2 * 60 + 1;
constexpr int kQuietRounds = 40;

// The five settings, none at its default, as the user left them.
foundation::Dictionary userSettings() {
  return {{"fetchHistoryFromDB", Value(false)},
          {"historyDaysToDisplay", Value(9)},
          {"maxMessagesToDisplay", Value(33)},
          {"debugMode", Value(true)},
          {"showAlerts", Value(true)}};
}

class Road {
 public:
  Road(const Scenario& scenario, std::vector<Fault> plan)
      : scenario_(scenario), ports_(std::move(plan)) {}

  ~Road() {
    tweak::resetProcessState();
    platform::notify::setDarwinNotifyCenter(nullptr);
    platform::runloop::setMainRunLoop(nullptr);
    platform::runtime::unregisterAllClasses();
    foundation::resetProcessIdentity();
  }

  RunResult run() {
    setUp();
    RunResult result;
    try {
      for (size_t i = 0; i < scenario_.replies.size(); ++i) {
        type(i);
        loop_->runPending();
      }
      settle(result);
      check(result);
    } catch (const RunawayRoad&) {
      result.broken.push_back(
          fmt::format("the road never settles: more than {} calls", kMostCallsOfARun));
    }
    result.calls = ports_.calls();
    result.happened = ports_.happened();
    return result;
  }

 private:
  void setUp() {
    root_ = scratch_.path();
    fs::create_directories(root_ / "private/var/mobile/Library/Preferences");
    fs::create_symlink("private/var", root_ / "var");
    foundation::setDeviceRoot(root_);
    loop_ = std::make_shared<platform::runloop::testing::FakeRunLoop>();
    center_ = std::make_shared<platform::notify::testing::FakeNotifyCenter>(*loop_);
    platform::runloop::setMainRunLoop(loop_);
    platform::notify::setDarwinNotifyCenter(center_);
    tweak::resetProcessState();

    // The springboard: Viber installed and in the foreground.
    auto registry = std::make_shared<springboard::testing::FakeRegistry>();
    auto viber = std::make_shared<springboard::testing::FakeApplication>("com.viber");
    viber->states = {springboard::SBApplicationStateForeground};
    registry->installed = viber;
    platform::runtime::registerClass(
        std::make_shared<springboard::SBApplicationControllerClass>(registry));

    // The messenger: its own methods over the sample database in its container.
    fs::path container = root_ / "private/var/mobile/Containers/Data/Application/VIBER";
    fs::create_directories(container / messenger::kAttachmentsRelativePath);
    sample_ = platform::viberdb::createSampleDatabase(
        container / platform::viberdb::kDatabaseRelativePath, platform::viberdb::now());
    managerClass_ = std::make_shared<messenger::DBManagerClass>();
    messenger::defineDBManagerMethods(*managerClass_, {.dataContainer = container, .loop = loop_});
    platform::runtime::registerClass(managerClass_);
    tweak::installDBManagerCapture();
    manager_ = managerClass_->alloc()->initWithAddressBook(nullptr);
    reader_ = manager_;
    // The sample conversations may hold a message with a reply's text already.
    for (const auto& r : scenario_.replies) before_[{r.chat, r.text}] = copies(r);

    foundation::writeDictionaryFileAtomically(tweak::preferencesPath(), userSettings());
    tweak::loadPreferences();
    processState().clock = [this] { return kStart + loop_->now(); };
    processState().files = &ports_;
    processState().sqlite = &ports_;
    armTimers();
    extension_ = tweak::ORVViberCouriaExtension::create();

    observe(tweak::kSendMessageNotification, Half::Messenger, tweak::sendMessageCallback);
    observe(tweak::kShowAlertNotification, Half::Springboard, tweak::showAlertCallback);
  }

  // Hands each post of `name` to `callback` inside `half`'s scope.
  void observe(const char* name, Half half,
               const platform::notify::NotificationCallback& callback) {
    center_->addObserver(
        nullptr,
        [this, half, callback](platform::notify::NotifyCenter* c, const void* o, std::string_view n,
                               const void* ob,
                               const void* u) { in(half, [&] { callback(c, o, n, ob, u); }); },
        name, platform::notify::SuspensionBehavior::DeliverImmediately);
  }

  // The halves' timers, made before the tweak makes its own, so that their
  // work runs as the half's.
  void armTimers() {
    if (!processState().retryTimer) {
      processState().retryTimer.emplace(
          [this] {
            in(Half::Messenger, [] { tweak::sendPendingRequests(tweak::SendTrigger::Retry); });
          },
          tweak::queueNow);
    }
    if (!processState().deadlineTimer) {
      processState().deadlineTimer.emplace(
          [this] { in(Half::Springboard, [] { tweak::dropExpiredRequests(); }); }, tweak::queueNow);
    }
  }

  // Runs a half's work as that half; a death planned in it ends the half.
  void in(Half half, const std::function<void()>& work) {
    if (!alive_[static_cast<int>(half)]) return;
    try {
      ProcessScope scope(ports_, half);
      work();
    } catch (const ProcessDied& died) {
      die(died.half);
    }
  }

  void die(Half half) {
    alive_[static_cast<int>(half)] = false;
    if (half == Half::Messenger) {
      processState().retryTimer.reset();
      processState().picturesInFlight.clear();
      processState().capturedManager.reset();
      manager_.reset();
    } else {
      processState().deadlineTimer.reset();
      processState().nicknames.reset();
      extension_.reset();
    }
    loop_->post([this, half] { restart(half); });
  }

  void restart(Half half) {
    alive_[static_cast<int>(half)] = true;
    armTimers();
    if (half == Half::Messenger) {
      manager_ = managerClass_->alloc()->initWithAddressBook(nullptr);
      in(Half::Messenger, [] { tweak::sendRequestsLeftPending(); });
    } else {
      extension_ = tweak::ORVViberCouriaExtension::create();
      in(Half::Springboard, [] { tweak::watchRequestDeadlines(); });
    }
  }

  std::int64_t chat(Chat c) const { return c == Chat::Alice ? sample_.aliceChat : sample_.bobChat; }

  // The user types reply `i` into the springboard's panel.
  void type(size_t i) {
    const Reply& r = scenario_.replies[i];
    int writes = ports_.writes(Half::Springboard);
    bool died = false;
    // A springboard that died starts again first (a restart may die too).
    for (int i = 0; i < 4 && !extension_; ++i) loop_->runPending();
    if (!extension_) {
      handedOver_.push_back(false);
      killedWhileTyping_.push_back(true);
      return;
    }
    try {
      ProcessScope scope(ports_, Half::Springboard);
      extension_->sendMessage(std::make_shared<platform::couria::ReplyMessage>(
                                  std::make_shared<foundation::NSString>(r.text)),
                              std::to_string(chat(r.chat)));
    } catch (const ProcessDied& d) {
      died = true;
      die(d.half);
    }
    handedOver_.push_back(ports_.writes(Half::Springboard) > writes);
    killedWhileTyping_.push_back(died);
  }

  // The clock past the longest retry until a round makes no call; then, if a
  // request is still waiting, past its deadline.
  void settle(RunResult& result) {
    quiet();
    if (!pending().empty()) {
      result.endedByDeadline = true;
      loop_->advance(Seconds(tweak::kDefaultRequestDeadlineSeconds + kQuietSeconds));
      quiet();
    }
  }

  void quiet() {
    for (int round = 0; round < kQuietRounds; ++round) {
      size_t before = ports_.calls().size();
      loop_->runPending();
      loop_->advance(Seconds(kQuietSeconds));
      if (ports_.calls().size() == before) return;
    }
  }

  std::vector<std::string> pending() const {
    std::vector<std::string> out;
    auto file = foundation::readDictionaryFile(tweak::preferencesPath());
    if (file) {
      for (const auto& r : tweak::readQueue(*file).pending) out.push_back(r.requestID);
    }
    return out;
  }

  int copies(const Reply& r) const {
    int n = 0;
    for (const auto& message : reader_->database()->database().messages(chat(r.chat))) {
      n += !message.phoneNumIndex && message.text == r.text;
    }
    return n;
  }

  static int occurrences(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + needle.size())) {
      ++n;
    }
    return n;
  }

  void check(RunResult& result) {
    auto& broken = result.broken;
    auto file = foundation::readDictionaryFile(tweak::preferencesPath());
    if (!file) {
      broken.push_back("the settings file cannot be read");
      return;
    }
    for (const auto& [k, v] : userSettings()) {
      const auto* now = foundation::find(*file, k);
      if (!now || !(*now == v)) {
        broken.push_back(fmt::format("the setting {} is {}", k, now ? now->description() : "gone"));
      }
    }
    for (const auto& id : pending()) broken.push_back("request " + id + " is left pending");

    auto outcomes = tweak::readOutcomes(*file);
    std::map<std::string, int> perRequest;
    for (const auto& o : outcomes) {
      if (++perRequest[o.requestID] == 2) {
        broken.push_back("request " + o.requestID + " has two outcomes");
      }
    }
    std::string told;
    for (const auto& a : alerts_.shown()) told += a.message.value_or("") + "\n";

    // The replies of one conversation with one text count together.
    std::map<std::pair<Chat, std::string>, std::vector<size_t>> groups;
    for (size_t i = 0; i < scenario_.replies.size(); ++i) {
      groups[{scenario_.replies[i].chat, scenario_.replies[i].text}].push_back(i);
    }
    int namedInAlerts = 0;
    for (const auto& [key, members] : groups) {
      const Reply& r = scenario_.replies[members.front()];
      std::string quoted = "\"" + r.text + "\"";
      int handed = 0;
      int mustBeTold = 0;
      for (size_t i : members) {
        handed += handedOver_[i];
        mustBeTold += !handedOver_[i] && !killedWhileTyping_[i];
      }
      int delivered = 0;
      int failed = 0;
      for (const auto& o : outcomes) {
        if (o.conversationID != std::to_string(chat(r.chat)) ||
            o.reply.find(quoted) == std::string::npos)
          continue;
        (o.delivered ? delivered : failed) += 1;
      }
      int sent = copies(r) - before_.at(key);
      int alerts = occurrences(told, quoted);
      namedInAlerts += alerts;
      std::string what = fmt::format("{} to conversation {}", quoted, chat(r.chat));
      if (sent != delivered) {
        broken.push_back(fmt::format("{}: {} in the conversation, {} recorded delivered", what,
                                     sent, delivered));
      }
      if (delivered + failed != handed) {
        broken.push_back(fmt::format("{}: {} handed over, {} delivered and {} failed recorded",
                                     what, handed, delivered, failed));
      }
      if (alerts != failed + mustBeTold) {
        broken.push_back(
            fmt::format("{}: named in {} alerts, {} failed", what, alerts, failed + mustBeTold));
      }
    }
    for (const auto& a : alerts_.shown()) {
      std::string message = a.message.value_or("");
      bool namesAReply = false;
      for (const auto& r : scenario_.replies)
        namesAReply |= message.find("\"" + r.text + "\"") != std::string::npos;
      if (!namesAReply) broken.push_back("an alert names no reply: " + message);
    }
  }

  const Scenario& scenario_;
  FaultPorts ports_;
  platform::foundation::testing::ScratchFolder scratch_{"pxviber-explorer"};
  platform::foundation::testing::RecordingLog log_;
  platform::springboard::testing::RecordingAlerts alerts_;
  fs::path root_;
  std::shared_ptr<platform::runloop::testing::FakeRunLoop> loop_;
  std::shared_ptr<platform::notify::testing::FakeNotifyCenter> center_;
  platform::viberdb::SampleContent sample_;
  std::shared_ptr<messenger::DBManagerClass> managerClass_;
  messenger::DBManagerRef manager_;
  // The first manager, kept for counting the conversation's messages.
  messenger::DBManagerRef reader_;
  std::shared_ptr<tweak::ORVViberCouriaExtension> extension_;
  bool alive_[2] = {true, true};
  std::map<std::pair<Chat, std::string>, int> before_;
  std::vector<bool> handedOver_;
  std::vector<bool> killedWhileTyping_;
};

}  // namespace

RunResult runRoad(const Scenario& scenario, const std::vector<Fault>& plan) {
  Road road(scenario, plan);
  return road.run();
}

}  // namespace fault_explorer
