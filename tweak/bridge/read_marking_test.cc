// Marking read after a reply, through the executor: which replies mark their
// conversation, when, how often, and what the setting and a missing manager
// change.
#include "tweak/bridge/read_marking.h"

#include "platform/runtime/method_table.h"
#include "tweak/bridge/executor_test_fixture.h"

namespace tweak {
namespace {

namespace pm = platform::messenger;
using platform::foundation::Dictionary;
using platform::foundation::Value;
using Lines = std::vector<std::string>;

class ReadMarking : public testing::ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    settings().markReadOnReply = true;
    messenger_.addConversation(43);
    messenger_.addConversation(44);
  }

  // The mark-as-read calls that reached the messenger, in order.
  Lines marks() const {
    Lines out;
    for (auto& c : messenger_.calls()) {
      if (c.rfind("markAsRead", 0) == 0) out.push_back(c);
    }
    return out;
  }
  static std::string mark(int conversation) {
    return "markAsReadMessagesForConversation(conversation " + std::to_string(conversation) + ")";
  }

  // The trace lines of the capture's mark-as-read replacement.
  Lines traces() const {
    return log_.linesStartingWith(receiver(manager_) + "markAsReadMessagesForConversation:");
  }

  void queuePicture(const std::string& id, const std::string& name) { queue(id, "42", "", name); }
};

TEST_F(ReadMarking, ADeliveredReplyMarksItsConversationOnceItsOutcomeIsRecorded) {
  // What the file held when the messenger was asked to mark the conversation.
  Lines recordedThen;
  auto displaced = std::make_shared<std::function<pm::sig::MarkAsReadMessagesForConversation>>();
  *displaced = platform::runtime::MSHookMessageEx<pm::sig::MarkAsReadMessagesForConversation>(
      *messenger_.cls(), pm::selector::markAsReadMessagesForConversation,
      [&, displaced](pm::DBManager& self, pm::Id conversation) {
        recordedThen = outcomes();
        (*displaced)(self, std::move(conversation));
      });
  queue("a", "42", "hi");
  run();
  EXPECT_EQ(recordedThen, Lines{"42:delivered 100"});
  EXPECT_EQ(marks(), Lines{mark(42)});
  // Sent first, then the conversation found again and marked through the
  // captured manager's replacement, which traces it.
  EXPECT_EQ(messenger_.calls().back(), mark(42));
  EXPECT_EQ(sends().size(), 1u);
  ASSERT_EQ(traces().size(), 1u);
  EXPECT_EQ(traces()[0], receiver(manager_) + "markAsReadMessagesForConversation:" +
                             messenger_.conversationsHandedOut().back()->description() + "]");
  // With debugMode off, marking read writes no line of its own.
  EXPECT_TRUE(log_.linesStartingWith("PXVIBER:").empty());
}

TEST_F(ReadMarking, RepliesOfOnePassMarkEachOfTheirConversationsOnceAndNoOther) {
  queue("a", "42", "one");
  queue("b", "43", "two");
  queue("c", "42", "three");
  queue("d", "42", "four");
  run();
  EXPECT_EQ(sends().size(), 4u);
  EXPECT_EQ(marks(), (Lines{mark(42), mark(43)}));
  EXPECT_EQ(traces().size(), 2u);
  // A later pass's reply to 42 is a reply of its own: marked again.
  queue("e", "42", "five");
  run();
  EXPECT_EQ(marks(), (Lines{mark(42), mark(43), mark(42)}));
}

TEST_F(ReadMarking, FailedAndRetriedRepliesLeaveTheirConversationsUnreadUntilDelivered) {
  queue("gone", "77", "to nobody");  // no such conversation: failed
  queue("later", "43", "not stored yet");
  messenger_.storeNothing(true);  // the database takes nothing: to retry
  run();
  EXPECT_EQ(outcomes(), Lines{"77:Unable to match conversation. Message not sent."});
  EXPECT_EQ(pending(), "later");
  EXPECT_TRUE(marks().empty());
  EXPECT_TRUE(traces().empty());
  messenger_.storeNothing(false);
  quiet();
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(marks(), Lines{mark(43)});
}

TEST_F(ReadMarking, APictureMarksItsConversationWhenItsCompletionConfirmsIt) {
  messenger_.addAttachment("1700.jpg");
  queuePicture("photo", "1700.jpg");
  queue("text", "43", "and a text");
  run();
  // The text is delivered now; the picture only once its completion runs.
  EXPECT_EQ(marks(), Lines{mark(43)});
  complete(0, true);
  EXPECT_EQ(outcomes(true), (Lines{"text:delivered 101", "photo:delivered 100"}));
  EXPECT_EQ(marks(), (Lines{mark(43), mark(42)}));
  // A picture whose completion finds no attachment (and no file to try again
  // with) is not delivered: its conversation stays unread.
  queue("lost", "44", "", "missing.jpg");
  run();
  complete(1, false);
  EXPECT_EQ(outcomes(true).back(), "lost:Unable to send picture message.");
  EXPECT_EQ(marks(), (Lines{mark(43), mark(42)}));
}

// Before the first load every setting is zero, markReadOnReply included: a
// reply then leaves its conversation as it is, as it does with the setting
// off. After a load without the key, the default marks it.
TEST_F(ReadMarking, WithTheSettingOffOrNotYetLoadedNothingIsMarkedNorLookedUp) {
  settings().markReadOnReply = false;
  queue("before-load", "42", "one");
  run();
  EXPECT_EQ(messenger_.calls(),
            (Lines{"persistentStoreCoordinator",
                   "getConversationWithManagedObjectID(x-coredata://CONV-STORE/Conversation/p42)",
                   "sendMessageOfType(text,one,(null),conversation 42,(null),(null),(null),(null),"
                   "(null))"}));
  updateMailbox([](Dictionary& d) { d[key::markReadOnReply] = Value("NO"); });
  loadPreferences();
  queue("off", "42", "two");
  run();
  EXPECT_TRUE(marks().empty());
  updateMailbox([](Dictionary& d) { d.erase(key::markReadOnReply); });
  loadPreferences();
  queue("default", "42", "three");
  run();
  EXPECT_EQ(marks(), Lines{mark(42)});
  EXPECT_EQ(outcomes().size(), 3u);
}

TEST_F(ReadMarking, AManagerGoneBeforeThePictureIsSettledLeavesItUnread) {
  messenger_.addAttachment("1700.jpg");
  queuePicture("photo", "1700.jpg");
  run();
  // The completion confirms the upload on the messenger's thread; the manager
  // is gone by the time the main run loop records it.
  messenger_.completions()[0](true);
  processState().capturedManager.reset();
  loop_->runPending();
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  EXPECT_TRUE(marks().empty());
  EXPECT_TRUE(log_.contains("PXVIBER: conversation 42 not marked read: no manager to ask"));
}

}  // namespace
}  // namespace tweak
