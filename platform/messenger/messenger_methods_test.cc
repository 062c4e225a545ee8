#include "platform/messenger/messenger_methods.h"

#include "platform/foundation/testing/recording_log.h"
#include "platform/messenger/testing/sample_container.h"
#include "platform/runloop/testing/fake_run_loop.h"

namespace platform::messenger {
namespace {

using foundation::NSString;

std::shared_ptr<NSString> str(const std::string& s) { return std::make_shared<NSString>(s); }

class MessengerMethods : public testing::SampleContainerTest {
 protected:
  void SetUp() override {
    SampleContainerTest::SetUp();
    defineDBManagerMethods(*cls_, {.dataContainer = container_, .loop = loop_});
    manager_ = cls_->alloc()->initWithAddressBook(str("book"));
    ASSERT_TRUE(manager_);
  }

  ConversationRef conversation(std::int64_t key) {
    auto url = foundation::NSURL::URLWithString("x-coredata://" +
                                                manager_->database()->conversationStoreUUID() +
                                                "/Conversation/p" + std::to_string(key));
    return manager_->getConversationWithManagedObjectID(
        manager_->persistentStoreCoordinator()->managedObjectIDForURIRepresentation(url));
  }
  std::string lastText(std::int64_t key) {
    auto m = manager_->database()->messages(key).back();
    return foundation::find(m, "text") ? foundation::find(m, "text")->description() : "(none)";
  }

  std::shared_ptr<DBManagerClass> cls_ = std::make_shared<DBManagerClass>();
  std::shared_ptr<runloop::testing::FakeRunLoop> loop_ =
      std::make_shared<runloop::testing::FakeRunLoop>();
  DBManagerRef manager_;
  foundation::testing::RecordingLog log_;
};

TEST_F(MessengerMethods, EachInitialiserOpensTheDatabaseAndAnswersItsReceiver) {
  auto a = cls_->alloc();
  EXPECT_EQ(a->init(), a);
  auto b = cls_->alloc();
  EXPECT_EQ(b->initInLightweightMode(), b);
  ASSERT_TRUE(b->database());
  EXPECT_NE(a->database(), b->database());
}

TEST_F(MessengerMethods, AnInitialiserWithoutADatabaseAnswersNil) {
  auto other = std::make_shared<DBManagerClass>();
  defineDBManagerMethods(*other, {.dataContainer = container_ / "nowhere", .loop = loop_});
  EXPECT_EQ(other->alloc()->init(), nullptr);
  EXPECT_EQ(log_.linesStartingWith("DBManager: init cannot open the database").size(), 1u);
}

TEST_F(MessengerMethods, TheObjectIDGetterAnswersOnlyConversationsOfTheConversationStore) {
  EXPECT_EQ(conversation(sample_.zoeChat)->primaryKey(), sample_.zoeChat);
  EXPECT_EQ(conversation(4242), nullptr);
  auto stores = manager_->persistentStoreCoordinator()->persistentStores();
  auto sticker = std::make_shared<NSManagedObjectID>(*stores[0]->identifier(), "Conversation",
                                                     sample_.zoeChat);
  EXPECT_EQ(manager_->getConversationWithManagedObjectID(sticker), nullptr);
  auto message = std::make_shared<NSManagedObjectID>(*stores[1]->identifier(), "ViberMessage",
                                                     sample_.zoeChat);
  EXPECT_EQ(manager_->getConversationWithManagedObjectID(message), nullptr);
  EXPECT_EQ(manager_->getConversationWithManagedObjectID(nullptr), nullptr);
}

TEST_F(MessengerMethods, TheOtherGettersFindTheirConversations) {
  auto key = [](const ConversationRef& c) { return c ? c->primaryKey() : 0; };
  EXPECT_EQ(key(manager_->getConversationWithID(str(sample_.weekendGroupId))),
            sample_.weekendGroup);
  EXPECT_EQ(key(manager_->getConversationWithID(nullptr, str(sample_.bob.number))),
            sample_.bobChat);
  EXPECT_EQ(key(manager_->getConversationWithID(str(sample_.bookClubGroupId), nullptr)),
            sample_.bookClub);
  EXPECT_EQ(key(manager_->getCoversationWithCanonizedNumber(str(sample_.zoe.number))),
            sample_.zoeChat);
  EXPECT_EQ(key(manager_->getConversationWithCanonizedNumbers(std::make_shared<NSArray>(
                std::vector<foundation::Id>{str(sample_.alice.number), str(sample_.bob.number)}))),
            sample_.bookClub);
  EXPECT_EQ(key(manager_->getConversationWithPhoneNumIndexes(std::make_shared<NSArray>(
                std::vector<foundation::Id>{str(std::to_string(sample_.bob.phoneNumIndex))}))),
            sample_.bobChat);
  EXPECT_EQ(key(manager_->getConversationWithContext(str(std::to_string(sample_.bobLatestToken)))),
            sample_.bobChat);
  EXPECT_EQ(manager_->getConversationWithID(str("nope")), nullptr);
}

TEST_F(MessengerMethods, TheTextSendWritesTextOfTypeTextOnly) {
  auto zoe = conversation(sample_.zoeChat);
  manager_->sendMessageOfType(str("text"), str("Hallo 👋"), nullptr, zoe, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  EXPECT_EQ(lastText(sample_.zoeChat), "Hallo 👋");
  EXPECT_EQ(log_.linesStartingWith("DBManager: sent text message").size(), 1u);
  manager_->sendMessageOfType(str("sticker"), str("no"), nullptr, zoe, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  manager_->sendMessageOfType(str("text"), nullptr, nullptr, zoe, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  manager_->sendMessageOfType(str("text"), str("no"), nullptr, str("5"), nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  EXPECT_EQ(lastText(sample_.zoeChat), "Hallo 👋");
  EXPECT_EQ(log_.linesStartingWith("DBManager: refused a message").size(), 3u);
}

TEST_F(MessengerMethods, ThePictureCompletionRunsOnALaterTurnOfTheLoop) {
  addAttachmentFile("55500.jpg");
  std::vector<bool> results;
  manager_->sendPictureMessageWithConversation(conversation(sample_.bobChat), str("55500.jpg"),
                                               str(""), nullptr,
                                               [&](bool ok) { results.push_back(ok); });
  EXPECT_TRUE(results.empty());
  loop_->runPending();
  EXPECT_EQ(results, std::vector<bool>{true});
  auto attachment = manager_->getAttachmentWithName(str("55500.jpg"));
  ASSERT_TRUE(attachment);
  manager_->uploadAttachment(attachment, false);
  auto m = manager_->database()->messages(sample_.bobChat).back();
  EXPECT_EQ(foundation::find(m, "uploaded")->description(), "1");
  EXPECT_EQ(foundation::find(m, "text")->description(), "");
}

TEST_F(MessengerMethods, ARefusedPictureStillCallsItsCompletionWithNo) {
  std::vector<bool> results;
  manager_->sendPictureMessageWithConversation(conversation(sample_.bobChat), str("../../x.jpg"),
                                               nullptr, nullptr,
                                               [&](bool ok) { results.push_back(ok); });
  loop_->runPending();
  EXPECT_EQ(results, std::vector<bool>{false});
  EXPECT_EQ(manager_->getAttachmentWithName(str("../../x.jpg")), nullptr);
}

TEST_F(MessengerMethods, MarkAsReadTakesTheConversationObject) {
  manager_->database()->database().execute("UPDATE ZVIBERMESSAGE SET ZREAD = 0");
  manager_->markAsReadMessagesForConversation(conversation(sample_.aliceChat));
  for (auto& m : manager_->database()->messages(sample_.aliceChat)) {
    EXPECT_EQ(foundation::find(m, "read")->description(), "1");
  }
}

TEST_F(MessengerMethods, AnUninitialisedInstanceAnswersNil) {
  auto raw = cls_->alloc();
  EXPECT_EQ(raw->persistentStoreCoordinator(), nullptr);
  EXPECT_EQ(raw->getConversationWithID(str(sample_.weekendGroupId)), nullptr);
  EXPECT_EQ(raw->getAttachmentWithName(str("x.jpg")), nullptr);
}

}  // namespace
}  // namespace platform::messenger
