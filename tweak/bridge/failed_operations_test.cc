// The executor when one of its file or database operations fails: each is
// failed once through the process's ports (the file operations, the SQLite
// calls), and the reply still goes out exactly once, later.
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/messenger_methods.h"
#include "platform/viberdb/sample_content.h"
#include "sqlite/testing/failing_calls.h"
#include "tweak/bridge/executor_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using Lines = std::vector<std::string>;

// Fails the `n`-th locked write of the settings file (from 1) as a failed
// write or rename does: nothing written, the old file left in place.
class FailingWrite final : public FileOperationsWrapper {
 public:
  explicit FailingWrite(int n) : FileOperationsWrapper(deviceFileOperations()), left_(n) {}
  platform::foundation::UpdateResult updateDictionary(
      const std::filesystem::path& path, const std::function<void(Dictionary&)>& change,
      platform::foundation::FolderSync folder) override {
    if (--left_ == 0) return {};
    return FileOperationsWrapper::updateDictionary(path, change, folder);
  }

 private:
  int left_;
};

class FailedFileOperation : public testing::ExecutorTest {};

TEST_F(FailedFileOperation, ATakeThatCannotBeWrittenSendsNothingUntilTheNextTry) {
  queue("r", "42", "hi");
  FailingWrite files(1);
  processState().files = &files;
  notify();
  EXPECT_TRUE(sends().empty());
  EXPECT_TRUE(
      log_.contains("PXVIBER: unable to take the send requests; they stay for a later try"));
  quiet();
  EXPECT_EQ(sends().size(), 1u);
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
}

// The text reached the messenger but its outcome could not be recorded: the
// claim stays in the file, and the next pass finds the message instead of
// sending it a second time.
TEST_F(FailedFileOperation, AnOutcomeThatCannotBeWrittenIsRecordedLaterWithoutASecondSend) {
  queue("r", "42", "hi");
  FailingWrite files(2);
  processState().files = &files;
  notify();
  EXPECT_EQ(sends().size(), 1u);
  EXPECT_TRUE(log_.contains(
      "PXVIBER: unable to record what came of the send requests; they are tried again"));
  EXPECT_EQ(pending(), "r");
  EXPECT_TRUE(outcomes().empty());
  quiet();
  EXPECT_EQ(sends().size(), 1u);
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  EXPECT_EQ(pending(), "");
}

// The messenger's own methods over the sample database in its data container,
// so that sends are read back from the database file itself.
class StoreReadBack : public testing::TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    settings().showAlerts = true;
    container_ = root_ / "private/var/mobile/Containers/Data/Application/VIBER";
    std::filesystem::create_directories(container_ / platform::messenger::kAttachmentsRelativePath);
    sample_ = platform::viberdb::createSampleDatabase(
        container_ / platform::viberdb::kDatabaseRelativePath, platform::viberdb::now());
    auto cls = std::make_shared<platform::messenger::DBManagerClass>();
    platform::messenger::defineDBManagerMethods(*cls, {.dataContainer = container_, .loop = loop_});
    platform::runtime::registerClass(cls);
    installDBManagerCapture();
    manager_ = cls->alloc()->initWithAddressBook(nullptr);
    processState().clock = [this] { return 1'700'000'000 + loop_->now(); };
  }

  void queueText(const std::string& id, const std::string& text) {
    SendRequest r;
    r.requestID = id;
    r.created = queueNow();
    r.conversationID = platform::foundation::Value(std::to_string(sample_.aliceChat));
    r.messageText = platform::foundation::Value(text);
    updateMailbox([&](Dictionary& d) { enqueueRequest(d, r); });
  }

  // One pass, on the send notification.
  void pass() {
    sendMessageCallback(center_.get(), nullptr, kSendMessageNotification, nullptr, nullptr);
  }
  // The pass, then the loop turned until the queue is quiet.
  void run() {
    pass();
    untilQuiet([this] { return std::to_string(messages()); });
  }
  // Every message of Alice's chat: a second send of a reply adds one.
  std::size_t messages() {
    return manager_->database()->database().messages(sample_.aliceChat).size();
  }

  // The outgoing messages of Alice's chat with this text.
  std::int64_t copies(const std::string& text) {
    std::int64_t n = 0;
    for (const auto& m : manager_->database()->database().messages(sample_.aliceChat)) {
      n += !m.phoneNumIndex && m.text == text;
    }
    return n;
  }

  // "delivered <key>" or the reason of the one outcome; "pending <lastFailure>"
  // while the request waits.
  std::string state() {
    auto file = readMailbox();
    auto done = readOutcomes(*file);
    if (!done.empty()) {
      return done[0].delivered ? "delivered " + std::to_string(*done[0].messageKey)
                               : done[0].reason.value_or("");
    }
    auto queued = readQueue(*file).pending;
    return queued.empty() ? "nothing" : "pending " + queued[0].lastFailure.value_or("");
  }

  std::filesystem::path container_;
  platform::viberdb::SampleContent sample_;
  platform::messenger::DBManagerRef manager_;
};

TEST_F(StoreReadBack, ATextIsDeliveredAsTheMessageTheDatabaseFileHolds) {
  queueText("r", "read back from the file");
  run();
  EXPECT_EQ(copies("read back from the file"), 1);
  auto stored = manager_->database()->database().messages(sample_.aliceChat);
  EXPECT_EQ(stored.back().text, "read back from the file");
  EXPECT_EQ(state(), "delivered " + std::to_string(stored.back().pk));
}

// The database is busy when the executor reads it just before the send: it
// sends nothing it could not confirm, and the retry sends the text once.
TEST_F(StoreReadBack, ABusyReadingBeforeTheSendHoldsTheTextForTheRetry) {
  queueText("r", "after a busy moment");
  // The pass reads the highest key once for the claims, then once before the send.
  sqlite::testing::FailingCalls busy(sqlite::testing::FailingCalls::Which::Step, 2, SQLITE_BUSY);
  processState().sqlite = &busy;
  pass();
  EXPECT_EQ(copies("after a busy moment"), 0);
  EXPECT_EQ(state(), std::string("pending ") + kNoManagerAlert);
  untilQuiet([&] { return std::to_string(messages()); });
  EXPECT_EQ(copies("after a busy moment"), 1);
  EXPECT_EQ(state().rfind("delivered ", 0), 0u) << state();
}

// The store's file cannot be opened: the pass says where, and the request
// waits for a database it can read.
TEST_F(StoreReadBack, AStoreThatCannotBeOpenedHoldsTheRequest) {
  sqlite::testing::FailingCalls cannotOpen(sqlite::testing::FailingCalls::Which::Open, 1,
                                           SQLITE_CANTOPEN);
  processState().sqlite = &cannotOpen;
  queueText("r", "held");
  pass();
  EXPECT_EQ(copies("held"), 0);
  EXPECT_EQ(state(), std::string("pending ") + kNoManagerAlert);
  EXPECT_TRUE(log_.contains("PXVIBER: unable to open Viber's messages at " +
                            (container_ / platform::viberdb::kDatabaseRelativePath).string()));
}

}  // namespace
}  // namespace tweak
