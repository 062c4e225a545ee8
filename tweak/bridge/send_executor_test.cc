#include "tweak/bridge/send_executor.h"

#include "tweak/bridge/bridge_test_environment.h"
#include "tweak/core/alert_relay.h"

namespace tweak {
namespace {

namespace pm = platform::messenger;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;
using Lines = std::vector<std::string>;

constexpr const char* kSettingsOnly = "debugMode=0,showAlerts=1";

class SendExecutor : public testing::BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    settings().showAlerts = true;
    messenger_.setStores({{"AUX-STORE", {"Sticker"}},
                          {"CONV-STORE", {"Conversation", "ViberMessage"}},
                          {"LATER-STORE", {"Conversation"}}});
    messenger_.addConversation(42);
    manager_ = messenger_.cls()->alloc()->initWithAddressBook(nullptr);
    messenger_.clearCalls();
    log_.clear();
  }

  // Writes the settings that every test keeps, plus `request`.
  void request(const Dictionary& request) {
    Dictionary d{{"debugMode", Value(false)}, {"showAlerts", Value(true)}};
    d.insert(request.begin(), request.end());
    writeFile(d);
  }

  void run() {
    sendMessageCallback(center_.get(), nullptr, kSendMessageNotification, nullptr, nullptr);
  }

  // The calls that sent something.
  Lines sends() const {
    Lines out;
    for (auto& c : messenger_.calls()) {
      if (c.rfind("send", 0) == 0) out.push_back(c);
    }
    return out;
  }

  // The alert keys of the file, as "title|message", and the alert posts.
  std::string alert() const {
    auto d = platform::foundation::readDictionaryFile(preferencesPath());
    if (!d) return "NONE";
    auto text = [&](const char* k) {
      const Value* v = platform::foundation::find(*d, k);
      return v ? v->description() : std::string("(none)");
    };
    return text("alertTitle") + "|" + text("alertMessage");
  }

  // The file without its alert keys.
  std::string fileWithoutAlert() const {
    std::string out;
    auto d = platform::foundation::readDictionaryFile(preferencesPath());
    if (!d) return "NONE";
    for (auto& [k, v] : *d) {
      if (k == "alertTitle" || k == "alertMessage") continue;
      out += (out.empty() ? "" : ",") + k + "=" + v.description();
    }
    return out;
  }

  pm::DBManagerRef manager_;
};

TEST_F(SendExecutor, ATextRequestIsSentOnceExactlyAsStoredAndTakenOutOfTheMailbox) {
  request({{"messageText", Value("Grüße 👋🏽 \"quoted\"\nline two")},
           {"conversationID", Value("42")},
           {"alertTitle", Value("older")}});
  run();
  EXPECT_EQ(sends(), Lines{"sendMessageOfType(text,Grüße 👋🏽 \"quoted\"\nline two,(null),"
                           "conversation 42,(null),(null),(null),(null),(null))"});
  EXPECT_EQ(file(), "alertTitle=older,debugMode=0,showAlerts=1");
  EXPECT_TRUE(center_->posts().empty());
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
  EXPECT_EQ(
      log_.linesStartingWith("PXVIBER:"),
      (Lines{"PXVIBER: sendMessage callback in Viber",
             "PXVIBER: generate conversation URL: x-coredata://CONV-STORE/Conversation/p42"}));
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

TEST_F(SendExecutor, APictureRequestWithAnEmptyCaptionSendsOnlyThePicture) {
  request({{"messageText", Value("")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("170000000000.jpg")},
           {"messagePictureFileWithPath", Value("/var/x/Documents/Attachments/170000000000.jpg")}});
  run();
  EXPECT_EQ(sends(),
            Lines{"sendPictureMessage(conversation 42,170000000000.jpg,,(null),completion)"});
  EXPECT_EQ(file(), kSettingsOnly);
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
  messenger_.completions()[0](true);
  EXPECT_EQ(messenger_.calls(),
            (Lines{"getAttachmentWithName(1700.jpg)", "uploadAttachment(1700.jpg,NO)"}));
  EXPECT_EQ(log_.lines(), Lines{"PXVIBER: sendPictureM completion block"});
  EXPECT_EQ(alert(), "(none)|(none)");
}

TEST_F(SendExecutor, ACompletionFindingNoAttachmentRaisesThePictureAlert) {
  request({{"messageText", Value("")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("missing.jpg")}});
  run();
  ASSERT_EQ(messenger_.completions().size(), 1u);
  log_.clear();
  messenger_.completions()[0](false);
  EXPECT_EQ(log_.lines(), Lines{"PXVIBER: unable to find the attachment for upload!"});
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to send picture message.");
  EXPECT_EQ(center_->posts(), Lines{kShowAlertNotification});
}

TEST_F(SendExecutor, TheCompletionAsksTheManagerCurrentWhenItRuns) {
  messenger_.addAttachment("a.jpg");
  request({{"conversationID", Value("42")}, {"messagePictureFile", Value("a.jpg")}});
  run();
  ASSERT_EQ(messenger_.completions().size(), 1u);
  resetDBManagerCaptureForTesting();
  messenger_.clearCalls();
  messenger_.completions()[0](true);
  EXPECT_TRUE(messenger_.calls().empty());
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to send picture message.");
}

// --- the failure table, row by row ---

TEST_F(SendExecutor, NoConversationIDRaisesItsAlertAndKeepsTheRequestKeys) {
  request({{"messageText", Value("kept")}, {"messagePictureFile", Value("p.jpg")}});
  run();
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to read old message conversation ID. Message not sent.");
  EXPECT_TRUE(log_.contains("PXVIBER: unable to read message conversationID! Message not sent."));
  EXPECT_EQ(fileWithoutAlert(),
            "debugMode=0,messagePictureFile=p.jpg,messageText=kept,showAlerts=1");
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

TEST_F(SendExecutor, ASecondNotificationWithNoNewRequestFindsNoConversationID) {
  request({{"messageText", Value("once")}, {"conversationID", Value("42")}});
  run();
  ASSERT_EQ(sends().size(), 1u);
  run();
  EXPECT_EQ(sends().size(), 1u);
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to read old message conversation ID. Message not sent.");
}

TEST_F(SendExecutor, WithoutACapturedManagerTheRequestIsRemovedBeforeTheAlert) {
  resetDBManagerCaptureForTesting();
  request({{"messageText", Value("lost")},
           {"conversationID", Value("42")},
           {"messagePictureFile", Value("p.jpg")},
           {"messagePictureFileWithPath", Value("/p.jpg")}});
  run();
  EXPECT_EQ(log_.lines(), Lines{"PXVIBER: Unable to get DBM. Message not sent."});
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to connect to Viber DB. Message not sent.");
  EXPECT_EQ(fileWithoutAlert(), kSettingsOnly);
  EXPECT_TRUE(messenger_.calls().empty());
}

TEST_F(SendExecutor, NoStoreNamingConversationsMeansNoConversation) {
  messenger_.setStores({{"AUX-STORE", {"Sticker"}}, {"OTHER", {"ViberMessage"}}});
  request({{"messageText", Value("x")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(log_.lines(), (Lines{"PXVIBER: unable to find conversation persistent store!",
                                 "PXVIBER: unable to find conversation! Message not sent."}));
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to match conversation. Message not sent.");
  EXPECT_EQ(fileWithoutAlert(), kSettingsOnly);
  EXPECT_TRUE(sends().empty());
}

TEST_F(SendExecutor, AManagerWithoutACoordinatorIsTheSameRow) {
  messenger_.removeCoordinator();
  request({{"messageText", Value("x")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(log_.lines(), (Lines{"PXVIBER: unable to find conversation persistent store!",
                                 "PXVIBER: unable to find conversation! Message not sent."}));
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to match conversation. Message not sent.");
}

TEST_F(SendExecutor, AnIdentifierMatchingNoConversationRaisesTheMatchAlert) {
  request({{"messageText", Value("x")}, {"conversationID", Value("77")}});
  run();
  EXPECT_TRUE(log_.contains("PXVIBER: unable to find conversation! Message not sent."));
  EXPECT_TRUE(log_.contains("getConversationWithManagedObjectID = (null)"));
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to match conversation. Message not sent.");
  EXPECT_EQ(fileWithoutAlert(), kSettingsOnly);
  EXPECT_TRUE(sends().empty());
}

TEST_F(SendExecutor, IdentifiersThatMakeNoURIMatchNothing) {
  for (const Value& id : {Value("4 2"), Value("x"), Value(""), Value(Array{Value(42)}),
                          Value(Dictionary{{"a", Value(1)}})}) {
    request({{"messageText", Value("x")}, {"conversationID", id}});
    run();
    EXPECT_EQ(alert(), "PXVIBER Error|Unable to match conversation. Message not sent.")
        << id.description();
    EXPECT_EQ(fileWithoutAlert(), kSettingsOnly);
  }
  EXPECT_TRUE(sends().empty());
}

TEST_F(SendExecutor, AStoreWithAnEmptyIdentifierGivesAURIThatTheCoordinatorDoesNotKnow) {
  messenger_.setStores({{"", {"Conversation"}}});
  request({{"messageText", Value("x")}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(messenger_.calls(),
            (Lines{"persistentStoreCoordinator", "getConversationWithManagedObjectID((null))"}));
  EXPECT_EQ(alert(), "PXVIBER Error|Unable to match conversation. Message not sent.");
}

TEST_F(SendExecutor, WithAlertsOffAFailureWritesAndPostsNothing) {
  settings().showAlerts = false;
  run();
  EXPECT_EQ(file(), "NONE");
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(log_.lines(),
            Lines{"PXVIBER: unable to read message conversationID! Message not sent."});
  request({{"messageText", Value("x")}, {"conversationID", Value("77")}});
  run();
  EXPECT_EQ(file(), kSettingsOnly);
  EXPECT_TRUE(center_->posts().empty());
}

TEST_F(SendExecutor, TheAlertReachesTheSpringboardSideThroughTheRelay) {
  center_->addObserver(nullptr, showAlertCallback, kShowAlertNotification,
                       platform::notify::SuspensionBehavior::DeliverImmediately);
  request({{"messageText", Value("x")}, {"conversationID", Value("77")}});
  run();
  loop_->runPending();
  ASSERT_EQ(alerts_.shown().size(), 1u);
  EXPECT_EQ(alerts_.shown()[0].title, "PXVIBER Error");
  EXPECT_EQ(alerts_.shown()[0].message, "Unable to match conversation. Message not sent.");
  EXPECT_EQ(alerts_.shown()[0].buttons, Lines{"OK"});
}

TEST_F(SendExecutor, NonTextValuesArePassedOnAsTheObjectsTheFileHeld) {
  request({{"messageText", Value(12)}, {"conversationID", Value("42")}});
  run();
  EXPECT_EQ(sends(), Lines{"sendMessageOfType(text,12,(null),conversation 42,(null),(null),"
                           "(null),(null),(null))"});
}

}  // namespace
}  // namespace tweak
