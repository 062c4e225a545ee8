// A messenger and a springboard of different versions side by side: a
// request that a messenger knowing only the four request keys took is looked
// for, never sent again and never reported late; a request that a springboard
// of that kind left in the keys joins the queue.
#include "tweak/bridge/executor_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;
using Lines = std::vector<std::string>;

// Another writer of the settings file, which writes just before the `n`-th
// locked write of this process (from 1).
class WriterBefore final : public FileOperationsWrapper {
 public:
  WriterBefore(int n, std::function<void()> write)
      : FileOperationsWrapper(deviceFileOperations()), left_(n), write_(std::move(write)) {}
  platform::foundation::UpdateResult updateDictionary(
      const std::filesystem::path& path, const std::function<void(Dictionary&)>& change,
      platform::foundation::FolderSync folder) override {
    if (--left_ == 0) write_();
    return FileOperationsWrapper::updateDictionary(path, change, folder);
  }

 private:
  int left_;
  std::function<void()> write_;
};

class Versions : public testing::ExecutorTest {
 protected:
  // What a messenger of the earlier kind does with the four keys: it removes
  // them, and sends their text (when `sends`) through Viber.
  void earlierMessengerTakesTheKeys(bool sends) {
    std::optional<std::string> text;
    updateMailbox([&](Dictionary& d) {
      text = platform::foundation::find(d, key::messageText)->description();
      removeRequestKeys(d);
    });
    if (sends) messenger_.stored().push_back({100, 42, text, std::nullopt, false, queueNow()});
  }
};

TEST_F(Versions, ARequestAnEarlierMessengerSentIsFoundNotSentAgainAndNobodyIsTold) {
  queue("r", "42", "sent by the earlier one");
  earlierMessengerTakesTheKeys(true);
  run();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_EQ(pending(), "");
}

// That messenger told its user of its own failure (it could not match the
// conversation, say): the request leaves with an outcome saying so, unsent
// and untold.
TEST_F(Versions, ARequestAnEarlierMessengerTookButDidNotSendIsNeitherSentNorToldAgain) {
  queue("r", "42", "failed in the earlier one");
  earlierMessengerTakesTheKeys(false);
  run();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(outcomes(), Lines{std::string("42:") + kTakenByEarlierText});
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 0);
  EXPECT_EQ(pending(), "");
}

// The same text sent to the conversation before the request was made is not
// taken for its message.
TEST_F(Versions, AnOlderMessageOfTheSameTextIsNotTakenForTheRequest) {
  messenger_.stored().push_back({100, 42, "again", std::nullopt, false, queueNow() - 60});
  loop_->advance(platform::runloop::Seconds(5));
  queue("r", "42", "again");
  earlierMessengerTakesTheKeys(false);
  run();
  EXPECT_EQ(outcomes(), Lines{std::string("42:") + kTakenByEarlierText});
}

// The springboard queues a second, equal reply while the first is being
// sent: recording the first's delivery leaves the four keys alone (they were
// written for the second), so the second is not mistaken for a request an
// earlier messenger took, and goes out.
TEST_F(Versions, TheSecondOfTwoEqualRepliesIsNotMistakenForOneAnEarlierMessengerTook) {
  queue("first", "42", "ok");
  WriterBefore springboard(2, [&] { queue("second", "42", "ok"); });
  processState().files = &springboard;
  notify();
  notify();
  quiet();
  EXPECT_EQ(sends().size(), 2u);
  EXPECT_EQ(outcomes(true), (Lines{"first:delivered 100", "second:delivered 101"}));
}

TEST_F(Versions, ARequestAnEarlierSpringboardLeftInTheKeysJoinsTheQueueBeforeANewOne) {
  request({{"messageText", Value("left in the keys")}, {"conversationID", Value("42")}});
  queue("new", "42", "queued after it");
  EXPECT_EQ(readQueue(*readMailbox()).pending.size(), 2u);
  run();
  EXPECT_EQ(sends(), (Lines{"sendMessageOfType(text,left in the keys,(null),conversation 42,"
                            "(null),(null),(null),(null),(null))",
                            "sendMessageOfType(text,queued after it,(null),conversation 42,"
                            "(null),(null),(null),(null),(null))"}));
  EXPECT_EQ(requestKeys(), "debugMode=0,showAlerts=1");
}

}  // namespace
}  // namespace tweak
