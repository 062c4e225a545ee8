// The executor's road for one request: the conversation resolved from the
// request, the messenger's own send, the failure table and its alerts. Requests
// are written in the four keys alone, as an earlier springboard left them.
#include "tweak/bridge/send_executor.h"

#include <fstream>

#include "tweak/bridge/executor_test_fixture.h"
#include "tweak/core/alert_relay.h"

namespace tweak {
namespace {

using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;
using Lines = std::vector<std::string>;

constexpr const char* kSettingsOnly = "debugMode=0,showAlerts=1";
constexpr const char* kMatchAlert =
    "PXVIBER Error|Unable to match conversation. Message not sent.|Reply to conversation ";

class SendExecutor : public testing::ExecutorTest {};

TEST_F(SendExecutor, ATextRequestIsSentOnceExactlyAsStoredAndTakenOutOfTheMailbox) {
  request({{"messageText", Value("Grüße 👋🏽 \"quoted\"\nline two")},
           {"conversationID", Value("42")},
           {"alertTitle", Value("older")}});
  run();
  EXPECT_EQ(sends(), Lines{"sendMessageOfType(text,Grüße 👋🏽 \"quoted\"\nline two,(null),"
                           "conversation 42,(null),(null),(null),(null),(null))"});
  EXPECT_EQ(requestKeys(), kSettingsOnly);
  EXPECT_EQ(alert(), "older|(none)");
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  EXPECT_EQ(center_->posts(), Lines{kRequestOutcomeNotification});
}

TEST_F(SendExecutor, WithDebugOffASuccessfulSendWritesOnlyTheTraceLines) {
  request({{"messageText", Value("hi")}, {"conversationID", Value("42")}});
  run();
  auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind(receiver(manager_) + "getConversationWithManagedObjectID:0x", 0), 0u);
  EXPECT_EQ(lines[0].substr(lines[0].find(" <x-coredata")),
            " <x-coredata://CONV-STORE/Conversation/p42>]");
  EXPECT_EQ(lines[1].rfind("getConversationWithManagedObjectID = <Conversation: ", 0), 0u);
  EXPECT_EQ(lines[2].rfind(receiver(manager_) + "sendMessageOfType:text withText:hi ", 0), 0u);
  EXPECT_TRUE(log_.linesStartingWith("PXVIBER:").empty());
}

TEST_F(SendExecutor, WithDebugOnItWritesItsProgressLines) {
  settings().debugMode = true;
  request({{"messageText", Value("hi")}, {"conversationID", Value("42")}});
  run();
  auto lines = log_.linesStartingWith("PXVIBER:");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "PXVIBER: sendMessage callback in Viber");
  EXPECT_EQ(lines[1],
            "PXVIBER: generate conversation URL: x-coredata://CONV-STORE/Conversation/p42");
  EXPECT_EQ(lines[2].rfind("PXVIBER: send request ", 0), 0u);
  EXPECT_EQ(lines[2].substr(lines[2].find(" delivered")), " delivered as message 100");
}

TEST_F(SendExecutor, OnlyTheFirstStoreNamingConversationsGivesTheURI) {
  request({{"messageText", Value("hi")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(messenger_.calls(),
            (Lines{"persistentStoreCoordinator",
                   "getConversationWithManagedObjectID(x-coredata://CONV-STORE/Conversation/p42)",
                   "sendMessageOfType(text,hi,(null),conversation 42,(null),(null),(null),(null),"
                   "(null))"}));
}

TEST_F(SendExecutor, TheIdentifierIsUsedInItsTextFormNeitherPaddedNorQuoted) {
  settings().debugMode = true;
  request({{"messageText", Value("n")}, {"conversationID", Value(42)}});
  run();
  EXPECT_TRUE(log_.contains(
      "PXVIBER: generate conversation URL: x-coredata://CONV-STORE/Conversation/p42"));
  EXPECT_EQ(sends().size(), 1u);
}

// Keys past 2^32, as text or as a number, reach the conversation whole on
// 32-bit processors too.
TEST_F(SendExecutor, AConversationKeyPast2To32IsSentToWhole) {
  messenger_.addConversation(4294967301);
  messenger_.addConversation(9223372036854775807);
  request({{"messageText", Value("wide")}, {"conversationID", Value("4294967301")}});
  run();
  request({{"messageText", Value("widest")}, {"conversationID", Value(9223372036854775807LL)}});
  run();
  EXPECT_EQ(sends(), (Lines{"sendMessageOfType(text,wide,(null),conversation 4294967301,(null),"
                            "(null),(null),(null),(null))",
                            "sendMessageOfType(text,widest,(null),conversation "
                            "9223372036854775807,(null),(null),(null),(null),(null))"}));
}

TEST_F(SendExecutor, APictureGoesOutWithItsCaptionAndIsDeliveredOnceUploaded) {
  messenger_.addAttachment("170000000000.jpg");
  request({{"messageText", Value("caption ✓")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("170000000000.jpg")},
           {"messagePictureFileWithPath", Value("/var/x/Documents/Attachments/170000000000.jpg")}});
  run();
  EXPECT_EQ(
      sends(),
      Lines{"sendPictureMessage(conversation 42,170000000000.jpg,caption ✓,(null),completion)"});
  // Until the completion has run, the request waits in the queue.
  EXPECT_NE(pending(), "");
  ASSERT_EQ(messenger_.completions().size(), 1u);
  complete(0, true);
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(requestKeys(), kSettingsOnly);
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
}

TEST_F(SendExecutor, APictureRequestWithAnEmptyCaptionSendsOnlyThePicture) {
  request({{"messageText", Value("")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("170000000000.jpg")},
           {"messagePictureFileWithPath", Value("/var/x/Documents/Attachments/170000000000.jpg")}});
  run();
  EXPECT_EQ(sends(),
            Lines{"sendPictureMessage(conversation 42,170000000000.jpg,,(null),completion)"});
}

TEST_F(SendExecutor, ThePictureCompletionUploadsTheAttachmentNotAsAResend) {
  settings().debugMode = true;
  messenger_.addAttachment("1700.jpg");
  request({{"messageText", Value("caption")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("1700.jpg")}});
  run();
  ASSERT_EQ(messenger_.completions().size(), 1u);
  messenger_.clearCalls();
  log_.clear();
  complete(0, true);
  EXPECT_EQ(messenger_.calls(),
            (Lines{"getAttachmentWithName(1700.jpg)", "uploadAttachment(1700.jpg,NO)"}));
  EXPECT_EQ(log_.lines()[0], "PXVIBER: sendPictureM completion block");
  EXPECT_EQ(alert(), "(none)|(none)");
}

TEST_F(SendExecutor, ACompletionFindingNoAttachmentRaisesThePictureAlert) {
  request({{"messageText", Value("")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("missing.jpg")}});
  run();
  ASSERT_EQ(messenger_.completions().size(), 1u);
  log_.clear();
  complete(0, false);
  EXPECT_EQ(log_.lines(), Lines{"PXVIBER: unable to find the attachment for upload!"});
  EXPECT_EQ(alert(),
            "PXVIBER Error|Unable to send picture message.|Photo reply to conversation 42");
  EXPECT_EQ(center_->posts(), (Lines{kRequestOutcomeNotification, kShowAlertNotification}));
  EXPECT_EQ(outcomes(), Lines{"42:Unable to send picture message."});
}

TEST_F(SendExecutor, ACompletionFindingNoAttachmentWhileThePictureFileRemainsTriesAgain) {
  std::filesystem::create_directories(root_ / "Documents/Attachments");
  std::ofstream(root_ / "Documents/Attachments/1700.jpg") << "jpeg";
  request({{"messageText", Value("")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("1700.jpg")},
           {"messagePictureFileWithPath", Value("/Documents/Attachments/1700.jpg")}});
  run();
  complete(0, false);
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_NE(pending(), "");
  // The picture message reached the database; the retry only uploads it.
  messenger_.addAttachment("1700.jpg");
  quiet();
  EXPECT_EQ(sends().size(), 1u);
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
}

TEST_F(SendExecutor, TheCompletionAsksTheManagerCurrentWhenItRuns) {
  messenger_.addAttachment("a.jpg");
  request({{"conversationID", Value("42")}, {"messagePictureFile", Value("a.jpg")}});
  run();
  ASSERT_EQ(messenger_.completions().size(), 1u);
  processState().capturedManager.reset();
  messenger_.clearCalls();
  complete(0, true);
  EXPECT_TRUE(messenger_.calls().empty());
  EXPECT_EQ(alert(),
            "PXVIBER Error|Unable to send picture message.|Photo reply to conversation 42");
}

// --- the failure table, row by row ---

TEST_F(SendExecutor, NoConversationIDRaisesItsAlertAndKeepsTheRequestKeys) {
  request({{"messageText", Value("kept")}, {"messagePictureFile", Value("p.jpg")}});
  run();
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to read old message conversation ID. Message not sent.");
  EXPECT_TRUE(log_.contains("PXVIBER: unable to read message conversationID! Message not sent."));
  EXPECT_EQ(requestKeys(), "debugMode=0,messagePictureFile=p.jpg,messageText=kept,showAlerts=1");
  EXPECT_EQ(center_->posts(), Lines{kShowAlertNotification});
  EXPECT_TRUE(messenger_.calls().empty());
}

TEST_F(SendExecutor, NoMailboxFileIsTheSameAsNoConversationID) {
  run();
  EXPECT_EQ(file(),
            "alertMessage=Unable to read old message conversation ID. Message not sent.,"
            "alertTitle=PXVIBER Error");
  EXPECT_EQ(log_.lines(),
            Lines{"PXVIBER: unable to read message conversationID! Message not sent."});
}

TEST_F(SendExecutor, ANotificationAfterTheRequestWasHandledFindsNothingAndSaysNothing) {
  request({{"messageText", Value("once")}, {"conversationID", Value("42")}});
  run();
  run();
  run();
  EXPECT_EQ(sends().size(), 1u);
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 0);
}

TEST_F(SendExecutor, WithoutACapturedManagerTheRequestWaitsForOne) {
  processState().capturedManager.reset();
  request({{"messageText", Value("kept")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("p.jpg")},
           {"messagePictureFileWithPath", Value("/Documents/Attachments/p.jpg")}});
  notify();
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: Unable to get DBM. Message not sent."),
            Lines{"PXVIBER: Unable to get DBM. Message not sent."});
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_TRUE(messenger_.calls().empty());
  auto queued = readQueue(*readMailbox()).pending;
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].lastFailure, "Unable to connect to Viber DB. Message not sent.");
  // The messenger makes its manager; the retry sends the picture.
  messenger_.addAttachment("p.jpg");
  messenger_.cls()->alloc()->init();
  quiet();
  EXPECT_EQ(sends(), Lines{"sendPictureMessage(conversation 42,p.jpg,kept,(null),completion)"});
}

TEST_F(SendExecutor, NoStoreNamingConversationsMeansNoConversation) {
  messenger_.setStores({{"AUX-STORE", {"Sticker"}}, {"OTHER", {"ViberMessage"}}});
  request({{"messageText", Value("x")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(log_.lines(), (Lines{"PXVIBER: unable to find conversation persistent store!",
                                 "PXVIBER: unable to find conversation! Message not sent."}));
  EXPECT_EQ(alert(), std::string(kMatchAlert) + "42: \"x\"");
  EXPECT_EQ(requestKeys(), kSettingsOnly);
  EXPECT_EQ(outcomes(), Lines{"42:Unable to match conversation. Message not sent."});
  EXPECT_TRUE(sends().empty());
}

TEST_F(SendExecutor, AManagerWithoutACoordinatorIsTheSameRow) {
  messenger_.removeCoordinator();
  request({{"messageText", Value("x")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(log_.lines(), (Lines{"PXVIBER: unable to find conversation persistent store!",
                                 "PXVIBER: unable to find conversation! Message not sent."}));
  EXPECT_EQ(alert(), std::string(kMatchAlert) + "42: \"x\"");
}

TEST_F(SendExecutor, AnIdentifierMatchingNoConversationRaisesTheMatchAlert) {
  request({{"messageText", Value("x")}, {"conversationID", Value("77")}});
  run();
  EXPECT_TRUE(log_.contains("PXVIBER: unable to find conversation! Message not sent."));
  EXPECT_TRUE(log_.contains("getConversationWithManagedObjectID = (null)"));
  EXPECT_EQ(alert(), std::string(kMatchAlert) + "77: \"x\"");
  EXPECT_EQ(requestKeys(), kSettingsOnly);
  EXPECT_TRUE(sends().empty());
}

TEST_F(SendExecutor, IdentifiersThatMakeNoURIMatchNothing) {
  for (const Value& id : {Value("4 2"), Value("x"), Value(""), Value(Array{Value(42)}),
                          Value(Dictionary{{"a", Value(1)}})}) {
    request({{"messageText", Value("x")}, {"conversationID", id}});
    run();
    EXPECT_EQ(alert().rfind(kMatchAlert, 0), 0u) << id.description();
    EXPECT_EQ(requestKeys(), kSettingsOnly);
  }
  EXPECT_TRUE(sends().empty());
}

TEST_F(SendExecutor, AStoreWithAnEmptyIdentifierGivesAURIThatTheCoordinatorDoesNotKnow) {
  messenger_.setStores({{"", {"Conversation"}}});
  request({{"messageText", Value("x")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(messenger_.calls(),
            (Lines{"persistentStoreCoordinator", "getConversationWithManagedObjectID((null))"}));
  EXPECT_EQ(alert(), std::string(kMatchAlert) + "42: \"x\"");
}

TEST_F(SendExecutor, WithAlertsOffAFailureWritesAndPostsNoAlert) {
  settings().showAlerts = false;
  run();
  EXPECT_EQ(file(), "NONE");
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(log_.lines(),
            Lines{"PXVIBER: unable to read message conversationID! Message not sent."});
  request({{"messageText", Value("x")}, {"conversationID", Value("77")}});
  run();
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_EQ(center_->posts(), Lines{kRequestOutcomeNotification});
}

TEST_F(SendExecutor, TheAlertReachesTheSpringboardSideThroughTheRelay) {
  center_->addObserver(nullptr, showAlertCallback, kShowAlertNotification,
                       platform::notify::SuspensionBehavior::DeliverImmediately);
  request({{"messageText", Value("x")}, {"conversationID", Value("77")}});
  run();
  loop_->runPending();
  ASSERT_EQ(alerts_.shown().size(), 1u);
  EXPECT_EQ(alerts_.shown()[0].title, "PXVIBER Error");
  EXPECT_EQ(alerts_.shown()[0].message,
            "Unable to match conversation. Message not sent.\nReply to conversation 77: \"x\"");
  EXPECT_EQ(alerts_.shown()[0].buttons, Lines{"OK"});
}

// A text that is not text can never be confirmed from the database: it is not
// handed to the messenger at all, and ends at once with one outcome and one
// alert, never tried again.
TEST_F(SendExecutor, ATextThatIsNotTextIsNeverSentAndEndsOnceWithOneAlert) {
  request({{"messageText", Value(12)}, {"conversationID", Value("42")}});
  run();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(outcomes(), Lines{"42:Unable to read the reply. Message not sent."});
  EXPECT_EQ(alert(),
            "PXVIBER Error|Unable to read the reply. Message not sent.|"
            "Reply to conversation 42: \"12\"");
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 1);
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(requestKeys(), kSettingsOnly);
}

}  // namespace
}  // namespace tweak
