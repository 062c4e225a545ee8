// Every try of a request, the first or a retry, looks for it in the database
// before it sends: what reached the database once is never sent again, and a
// reply typed twice on purpose still goes out twice.
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/messenger_methods.h"
#include "platform/viberdb/sample_content.h"
#include "sqlite/testing/failing_calls.h"
#include "tweak/bridge/executor_test_fixture.h"

namespace tweak {
namespace {

using Lines = std::vector<std::string>;

class RepeatedTry : public testing::ExecutorTest {
 protected:
  static std::string textSend(const std::string& text) {
    return "sendMessageOfType(text," + text +
           ",(null),conversation 42,(null),(null),(null),(null),(null))";
  }
};

// The readings of one pass, in order: the highest key for the claims (1), then
// per text request its look-up (2), the highest key before the send (3) and
// the read-back after it (4).

TEST_F(RepeatedTry, AReadBackThatFailsAfterViberStoredTheTextFindsItOnTheRetry) {
  queue("r", "42", "stored, not confirmed");
  failReadings({4});
  run();
  EXPECT_EQ(sends(), Lines{textSend("stored, not confirmed")});
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  EXPECT_EQ(pending(), "");
}

TEST_F(RepeatedTry, ALookUpThatCannotReadSendsNothingAndTheRetrySendsOnce) {
  queue("r", "42", "looked for first");
  failReadings({2});
  notify();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(pending(), "r");
  quiet();
  EXPECT_EQ(sends(), Lines{textSend("looked for first")});
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
}

TEST_F(RepeatedTry, ATextTypedTwiceToOneConversationGoesOutTwice) {
  queue("a", "42", "ok");
  queue("b", "42", "ok");
  run();
  EXPECT_EQ(sends(), (Lines{textSend("ok"), textSend("ok")}));
  EXPECT_EQ(outcomes(true), (Lines{"a:delivered 100", "b:delivered 101"}));
}

// The first "ok" is delivered; the second's first try is held by a database it
// could not read. Its retry, in a later pass, looks for it after the first's
// message, not after the key both were claimed with.
TEST_F(RepeatedTry, TheRetryOfASecondEqualReplyDoesNotTakeTheFirstsMessageForItsOwn) {
  queue("a", "42", "ok");
  queue("b", "42", "ok");
  failReadings({5});
  run();
  EXPECT_EQ(sends(), (Lines{textSend("ok"), textSend("ok")}));
  EXPECT_EQ(outcomes(true), (Lines{"a:delivered 100", "b:delivered 101"}));
}

// A messenger died after it sent the first of two equal replies and before it
// recorded anything: the next finds the first's message for the first, and
// sends the second.
TEST_F(RepeatedTry, AfterADeathBetweenTwoEqualRepliesEachFindsOnlyItsOwnMessage) {
  messenger_.stored().push_back({100, 42, "ok", std::nullopt, false});
  queue("a", "42", "ok");
  queue("b", "42", "ok");
  updateMailbox([](platform::foundation::Dictionary& d) {
    auto q = readQueue(d);
    for (auto& r : q.pending) {
      r.claim = SendClaim{"Viber[1]", queueNow() - 5};
      r.afterKey = 99;
    }
    writeQueue(d, q);
  });
  run();
  EXPECT_EQ(sends(), Lines{textSend("ok")});
  EXPECT_EQ(outcomes(true), (Lines{"a:delivered 100", "b:delivered 101"}));
}

// The messenger's own methods over the sample database, read back through the
// process's SQLite calls.
class RepeatedTryOnTheDatabase : public testing::TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    settings().showAlerts = true;
    auto container = root_ / "private/var/mobile/Containers/Data/Application/VIBER";
    std::filesystem::create_directories(container / platform::messenger::kAttachmentsRelativePath);
    sample_ = platform::viberdb::createSampleDatabase(
        container / platform::viberdb::kDatabaseRelativePath, platform::viberdb::now());
    auto cls = std::make_shared<platform::messenger::DBManagerClass>();
    platform::messenger::defineDBManagerMethods(*cls, {.dataContainer = container, .loop = loop_});
    platform::runtime::registerClass(cls);
    installDBManagerCapture();
    manager_ = cls->alloc()->initWithAddressBook(nullptr);
    processState().clock = [this] { return 1'700'000'000 + loop_->now(); };
  }

  std::int64_t copies(const std::string& text) {
    std::int64_t n = 0;
    for (const auto& m : manager_->database()->database().messages(sample_.aliceChat)) {
      n += !m.phoneNumIndex && m.text == text;
    }
    return n;
  }

  platform::viberdb::SampleContent sample_;
  platform::messenger::DBManagerRef manager_;
};

TEST_F(RepeatedTryOnTheDatabase, AReadBackBusyOnceAfterTheSendLeavesOneMessage) {
  SendRequest r;
  r.requestID = "r";
  r.created = queueNow();
  r.conversationID = platform::foundation::Value(std::to_string(sample_.aliceChat));
  r.messageText = platform::foundation::Value("busy at the read-back");
  updateMailbox([&](platform::foundation::Dictionary& d) { enqueueRequest(d, r); });
  // The fourth step through the process's calls is the read-back after the send.
  sqlite::testing::FailingCalls busy(sqlite::testing::FailingCalls::Which::Step, 4, SQLITE_BUSY);
  processState().sqlite = &busy;
  sendMessageCallback(center_.get(), nullptr, kSendMessageNotification, nullptr, nullptr);
  EXPECT_EQ(copies("busy at the read-back"), 1);
  auto waiting = readQueue(*readMailbox()).pending;
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(waiting[0].lastFailure, kNotStoredByViberText);
  untilQuiet([&] { return std::to_string(copies("busy at the read-back")); });
  EXPECT_EQ(copies("busy at the read-back"), 1);
  auto done = readOutcomes(*readMailbox());
  ASSERT_EQ(done.size(), 1u);
  EXPECT_TRUE(done[0].delivered);
}

}  // namespace
}  // namespace tweak
