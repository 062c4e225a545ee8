#include "tweak/bridge/db_manager_capture.h"

#include "tweak/bridge/bridge_test_environment.h"

namespace tweak {
namespace {

namespace pm = platform::messenger;
using platform::foundation::describe;
using platform::foundation::NSString;
using Lines = std::vector<std::string>;

std::shared_ptr<NSString> str(const char* s) { return std::make_shared<NSString>(s); }

class Capture : public testing::BridgeTest {};

TEST(CaptureInstaller, WithoutTheClassWritesOnlyItsLineAndCapturesNothing) {
  platform::foundation::testing::RecordingLog log;
  platform::runtime::unregisterAllClasses();
  installDBManagerCapture();
  EXPECT_EQ(log.lines(), Lines{"PXVIBER: ctor"});
  EXPECT_EQ(capturedManager(), nullptr);
}

TEST(CaptureInstaller, WritesItsLineWhateverTheSettings) {
  platform::foundation::testing::RecordingLog log;
  pm::testing::FakeMessenger messenger;
  messenger.registerClass();
  installDBManagerCapture();
  EXPECT_EQ(log.lines(), Lines{"PXVIBER: ctor"});
  platform::runtime::unregisterAllClasses();
}

TEST_F(Capture, WithDebugOffTheInitialisersCaptureSilently) {
  auto book = str("address book");
  auto manager = messenger_.cls()->alloc()->initWithAddressBook(book);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(capturedManager(), manager);
  EXPECT_EQ(messenger_.calls(), Lines{"initWithAddressBook(address book)"});
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(Capture, WithDebugOnEachInitialiserWritesItsLine) {
  settings().debugMode = true;
  auto first = messenger_.cls()->alloc()->init();
  EXPECT_EQ(capturedManager(), first);
  auto second = messenger_.cls()->alloc()->initInLightweightMode();
  EXPECT_EQ(capturedManager(), second);
  auto third = messenger_.cls()->alloc()->initWithAddressBook(str("book"));
  EXPECT_EQ(capturedManager(), third);
  // The address-book line names the captured manager, not the argument.
  EXPECT_EQ(log_.lines(), (Lines{"PXVIBER: DBM init", "PXVIBER: DBM light init",
                                 "PXVIBER: DBM AB init, " + describe(third)}));
  EXPECT_EQ(messenger_.calls(),
            (Lines{"init", "initInLightweightMode", "initWithAddressBook(book)"}));
}

TEST_F(Capture, ALaterManagerReplacesTheFirstWhichIsReleased) {
  std::weak_ptr<pm::DBManager> first = messenger_.cls()->alloc()->init();
  // Nobody but the capture holds the first manager now.
  EXPECT_FALSE(first.expired());
  EXPECT_EQ(capturedManager(), first.lock());
  std::weak_ptr<pm::DBManager> second = messenger_.cls()->alloc()->initInLightweightMode();
  EXPECT_TRUE(first.expired());
  EXPECT_FALSE(second.expired());
  EXPECT_EQ(capturedManager(), second.lock());
}

TEST_F(Capture, AnInitialiserAnsweringNilEmptiesTheCapture) {
  auto manager = messenger_.cls()->alloc()->init();
  ASSERT_EQ(capturedManager(), manager);
  messenger_.failInitialisers();
  settings().debugMode = true;
  EXPECT_EQ(messenger_.cls()->alloc()->initWithAddressBook(nullptr), nullptr);
  EXPECT_EQ(capturedManager(), nullptr);
  EXPECT_EQ(log_.lines(), Lines{"PXVIBER: DBM AB init, (null)"});
}

TEST_F(Capture, ConversationGettersTraceTheCallAndTheResultAndAnswerItUnchanged) {
  messenger_.addConversation(5);
  auto m = messenger_.cls()->alloc()->init();
  log_.clear();
  std::string r = receiver(m);

  auto found = m->getConversationWithID(str("5"));
  ASSERT_EQ(messenger_.conversationsHandedOut().size(), 1u);
  EXPECT_EQ(found, messenger_.conversationsHandedOut()[0]);
  EXPECT_EQ(log_.lines(),
            (Lines{r + "getConversationWithID:5]", "getConversationWithID = " + describe(found)}));

  log_.clear();
  EXPECT_EQ(m->getConversationWithID(str("6")), nullptr);
  EXPECT_EQ(log_.lines(),
            (Lines{r + "getConversationWithID:6]", "getConversationWithID = (null)"}));

  log_.clear();
  auto withNumber = m->getConversationWithID(str("5"), str("+4915112345"));
  EXPECT_EQ(withNumber, messenger_.conversationsHandedOut().back());
  EXPECT_EQ(log_.lines(), (Lines{r + "getConversationWithID:5 phoneNumber:+4915112345]",
                                 "getConversationWithID = " + describe(withNumber)}));

  log_.clear();
  EXPECT_EQ(m->getConversationWithID(nullptr, nullptr), nullptr);
  EXPECT_EQ(log_.lines(), (Lines{r + "getConversationWithID:(null) phoneNumber:(null)]",
                                 "getConversationWithID = (null)"}));
}

TEST_F(Capture, EachOneArgumentGetterHasItsOwnLines) {
  messenger_.addConversation(9);
  auto m = messenger_.cls()->alloc()->init();
  std::string r = receiver(m);
  struct Case {
    pm::ConversationRef (pm::DBManager::*call)(pm::Id);
    const char* keyword;
  };
  for (auto [call, keyword] : {
           Case{&pm::DBManager::getConversationWithPhoneNumIndexes,
                "getConversationWithPhoneNumIndexes"},
           Case{&pm::DBManager::getConversationWithContext, "getConversationWithContext"},
           Case{&pm::DBManager::getConversationWithCanonizedNumbers,
                "getConversationWithCanonizedNumbers"},
           Case{&pm::DBManager::getCoversationWithCanonizedNumber,
                "getCoversationWithCanonizedNumber"},
       }) {
    log_.clear();
    messenger_.clearCalls();
    auto result = ((*m).*call)(str("9"));
    ASSERT_NE(result, nullptr) << keyword;
    EXPECT_EQ(result, messenger_.conversationsHandedOut().back());
    EXPECT_EQ(log_.lines(),
              (Lines{r + keyword + ":9]", std::string(keyword) + " = " + describe(result)}));
    // The displaced implementation got the call, with its argument.
    EXPECT_EQ(messenger_.calls(), Lines{std::string(keyword) + ":(9)"});
  }
}

TEST_F(Capture, TheManagedObjectIDGetterPrintsTheIDAndAnswersNilUnchanged) {
  messenger_.addConversation(42);
  auto m = messenger_.cls()->alloc()->init();
  log_.clear();
  auto id = std::make_shared<pm::NSManagedObjectID>("U", "Conversation", 42);
  auto found = m->getConversationWithManagedObjectID(id);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, messenger_.conversationsHandedOut().back());
  EXPECT_EQ(log_.lines(),
            (Lines{receiver(m) + "getConversationWithManagedObjectID:" + describe(id) + "]",
                   "getConversationWithManagedObjectID = " + describe(found)}));
  log_.clear();
  EXPECT_EQ(m->getConversationWithManagedObjectID(nullptr), nullptr);
  EXPECT_EQ(log_.lines(), (Lines{receiver(m) + "getConversationWithManagedObjectID:(null)]",
                                 "getConversationWithManagedObjectID = (null)"}));
}

TEST_F(Capture, TheSendAndMarkAsReadWriteOnlyTheirCallLines) {
  messenger_.addConversation(3);
  auto m = messenger_.cls()->alloc()->init();
  auto conversation = m->getConversationWithID(str("3"));
  log_.clear();
  messenger_.clearCalls();
  m->sendMessageOfType(str("text"), str("hi"), nullptr, conversation, str("f.jpg"), nullptr,
                       nullptr, nullptr, nullptr);
  m->markAsReadMessagesForConversation(conversation);
  EXPECT_EQ(
      log_.lines(),
      (Lines{receiver(m) + "sendMessageOfType:text withText:hi location:(null) conversation:" +
                 describe(conversation) +
                 " fileName:f.jpg attachmentUrl:(null) duration:(null) completion:(null) "
                 "blockListContinueHandler:(null)]",
             receiver(m) + "markAsReadMessagesForConversation:" + describe(conversation) + "]"}));
  EXPECT_EQ(messenger_.calls(),
            (Lines{"sendMessageOfType(text,hi,(null),conversation 3,f.jpg,(null),(null),(null),"
                   "(null))",
                   "markAsReadMessagesForConversation(conversation 3)"}));
}

TEST_F(Capture, TraceLinesCarryNoPrefixAndDoNotDependOnTheDebugFlag) {
  messenger_.addConversation(1);
  auto m = messenger_.cls()->alloc()->init();
  for (bool debug : {false, true}) {
    settings().debugMode = debug;
    log_.clear();
    m->getConversationWithID(str("1"));
    ASSERT_EQ(log_.lines().size(), 2u);
    EXPECT_TRUE(log_.linesStartingWith("PXVIBER").empty());
  }
}

TEST_F(Capture, ReplacementsDoNotTouchTheSelectorsTheTweakOnlyCalls) {
  // The picture send, attachment calls and coordinator are called, not replaced.
  messenger_.addAttachment("a.jpg");
  auto m = messenger_.cls()->alloc()->init();
  log_.clear();
  m->sendPictureMessageWithConversation(nullptr, str("a.jpg"), str(""), nullptr, nullptr);
  auto attachment = m->getAttachmentWithName(str("a.jpg"));
  m->uploadAttachment(attachment, false);
  m->persistentStoreCoordinator();
  EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace tweak
