#include "tweak/extension/deadline_watch.h"

#include <filesystem>

#include "tweak/core/failure_texts.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/send_queue.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;

constexpr double kStart = 1'700'000'000;

class DeadlineWatch : public testing::TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    settings().showAlerts = true;
    processState().clock = [this] { return kStart + loop_->now(); };
  }

  // Queues a text request made `age` seconds before now, with the file's
  // deadline at 60 seconds.
  void queue(const std::string& id, double age, std::optional<SendClaim> claim = std::nullopt) {
    SendRequest r;
    r.requestID = id;
    r.created = queueNow() - age;
    r.conversationID = Value("4");
    r.messageText = Value("text of " + id);
    r.claim = std::move(claim);
    updateMailbox([&](Dictionary& d) {
      d[key::requestDeadlineSeconds] = Value(60);
      enqueueRequest(d, r);
    });
  }

  std::string pending() const {
    std::string out;
    for (const auto& r : readQueue(*readMailbox()).pending) out += r.requestID + " ";
    return out;
  }

  std::vector<std::string> told() const {
    std::vector<std::string> out;
    for (const auto& a : alerts_.shown())
      out.push_back(a.title.value_or("") + "|" + a.message.value_or(""));
    return out;
  }
};

TEST_F(DeadlineWatch, ARequestNoMessengerTookLeavesAtItsDeadlineAndTheUserIsToldOnce) {
  queue("a", 0);
  watchRequestDeadlines();
  loop_->advance(platform::runloop::Seconds(59));
  EXPECT_EQ(pending(), "a ");
  loop_->advance(platform::runloop::Seconds(2));
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(told(), std::vector<std::string>{
                        "PXVIBER Error|Viber did not take the reply in time. Message not sent.\n"
                        "Reply to conversation 4: \"text of a\""});
  auto outcomes = readOutcomes(*readMailbox());
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_FALSE(outcomes[0].delivered);
  EXPECT_EQ(center_->postCount(kRequestOutcomeNotification), 1);
  watchRequestDeadlines();
  loop_->advance(platform::runloop::Seconds(600));
  EXPECT_EQ(told().size(), 1u);
}

TEST_F(DeadlineWatch, TheTimerFollowsTheEarliestDeadlineAndWatchesTheRest) {
  queue("late", 0);
  watchRequestDeadlines();
  queue("early", 50);
  watchRequestDeadlines();
  loop_->advance(platform::runloop::Seconds(11));
  EXPECT_EQ(pending(), "late ");
  loop_->advance(platform::runloop::Seconds(50));
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(told().size(), 2u);
}

TEST_F(DeadlineWatch, ARequestAMessengerIsSendingNowIsLeftToIt) {
  queue("sending", 100, SendClaim{"Viber[1]", queueNow() - 10});
  queue("abandoned", 100, SendClaim{"Viber[2]", queueNow() - 3600});
  // A claim dated in the future (a damaged entry, a clock set back) would
  // otherwise spare its request for ever.
  queue("from the future", 100, SendClaim{"Viber[3]", queueNow() + 1e9});
  dropExpiredRequests();
  EXPECT_EQ(pending(), "sending ");
  EXPECT_EQ(told().size(), 2u);
}

// The one rule comes before the deadline: a request that could never be sent
// is not reported late, and all of them make one alert.
TEST_F(DeadlineWatch, EntriesThatCanNeverBeSentEndInOneAlertNotAsLateReplies) {
  queue("late", 100);
  updateMailbox([](Dictionary& d) {
    auto list = *platform::foundation::find(d, key::pendingRequests)->asArray();
    list.push_back(Value("garbage"));
    list.push_back(Value(Dictionary{{"requestID", Value("boolean")},
                                    {"conversationID", Value(true)},
                                    {"messageText", Value("to whom?")}}));
    d[key::pendingRequests] = Value(list);
  });
  dropExpiredRequests();
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(told(), (std::vector<std::string>{
                        "PXVIBER Error|Viber did not take the reply in time. Message not sent.\n"
                        "Reply to conversation 4: \"text of late\"",
                        "PXVIBER Error|Unable to read the reply. Message not sent.\n"
                        "A reply that could not be read\n"
                        "Reply to conversation 1: \"to whom?\" — Unable to match conversation. "
                        "Message not sent."}));
  EXPECT_EQ(readOutcomes(*readMailbox()).size(), 3u);
}

// A messenger that knows only the four request keys took the request (it
// removed them) and told of its own failures: at the deadline the request
// leaves, and nobody is told it was not taken.
TEST_F(DeadlineWatch, ARequestAnEarlierMessengerTookIsNotReportedLate) {
  queue("taken", 100);
  updateMailbox([](Dictionary& d) { removeRequestKeys(d); });
  dropExpiredRequests();
  EXPECT_EQ(pending(), "");
  EXPECT_TRUE(told().empty());
  auto outcomes = readOutcomes(*readMailbox());
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].reason, kTakenByEarlierText);
}

TEST_F(DeadlineWatch, WhenTheFileCannotBeWrittenNobodyIsToldAndItIsTriedAgainLater) {
  queue("a", 100);
  std::filesystem::remove(preferencesPath().string() + ".lock");
  std::filesystem::create_directory(preferencesPath().string() + ".lock");
  dropExpiredRequests();
  EXPECT_TRUE(told().empty());
  std::filesystem::remove(preferencesPath().string() + ".lock");
  loop_->advance(platform::runloop::Seconds(61));
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(told().size(), 1u);
}

TEST_F(DeadlineWatch, WithAlertsOffTheRequestStillLeavesButNothingIsShown) {
  settings().showAlerts = false;
  queue("a", 100);
  dropExpiredRequests();
  EXPECT_EQ(pending(), "");
  EXPECT_TRUE(told().empty());
  EXPECT_EQ(readOutcomes(*readMailbox()).size(), 1u);
}

}  // namespace
}  // namespace tweak
