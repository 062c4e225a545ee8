#include "platform/messenger/messenger_database.h"

#include <sqlite3.h>

#include "platform/foundation/error.h"

#include "platform/messenger/testing/sample_container.h"

namespace platform::messenger {
namespace {

using foundation::Dictionary;
using foundation::Value;

class Messenger : public testing::SampleContainerTest {
 protected:
  void SetUp() override {
    SampleContainerTest::SetUp();
    db_ = MessengerDatabase::open(container_);
  }

  // The conversation's key, or 0 for nil.
  static std::int64_t key(const std::shared_ptr<const Conversation>& c) {
    return c ? c->primaryKey() : 0;
  }
  // The newest message of a conversation.
  Dictionary last(std::int64_t conversation) { return db_->messages(conversation).back(); }
  static std::string field(const Dictionary& d, const char* k) {
    const Value* v = foundation::find(d, k);
    return v ? v->description() : "(absent)";
  }

  std::shared_ptr<MessengerDatabase> db_;
};

TEST_F(Messenger, ListsItsOwnStoreFirstThenTheConversationStoreFromItsMetadata) {
  const auto& stores = db_->coordinator()->persistentStores();
  ASSERT_EQ(stores.size(), 2u);
  EXPECT_FALSE(stores[0]->hasEntity("Conversation"));
  EXPECT_TRUE(stores[0]->hasEntity("Sticker"));
  EXPECT_TRUE(stores[1]->hasEntity("Conversation"));
  std::string uuid = viberdb::ViberDatabase::open(databaseFile()).metadata().uuid;
  EXPECT_EQ(stores[1]->identifier(), uuid);
  EXPECT_EQ(db_->conversationStoreUUID(), uuid);
  EXPECT_NE(stores[0]->identifier(), uuid);
  auto id =
      db_->coordinator()->managedObjectIDForURIRepresentation(foundation::NSURL::URLWithString(
          "x-coredata://" + uuid + "/Conversation/p" + std::to_string(sample_.aliceChat)));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->primaryKey(), sample_.aliceChat);
}

TEST_F(Messenger, OpensTheDatabaseInWALMode) {
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db_->database().handle(), "PRAGMA journal_mode", -1, &s, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal");
  sqlite3_finalize(s);
}

TEST_F(Messenger, AnswersAConversationForAnExistingRowOnly) {
  auto alice = db_->conversation(sample_.aliceChat);
  ASSERT_TRUE(alice);
  EXPECT_EQ(alice->objectID()->URIText(), "x-coredata://" + db_->conversationStoreUUID() +
                                              "/Conversation/p" +
                                              std::to_string(sample_.aliceChat));
  EXPECT_EQ(alice->groupID(), std::nullopt);
  EXPECT_EQ(db_->conversation(sample_.weekendGroup)->groupID(), sample_.weekendGroupId);
  EXPECT_EQ(db_->conversation(9999), nullptr);
  db_->database().execute("DELETE FROM ZCONVERSATION WHERE Z_PK = " +
                          std::to_string(sample_.bobChat));
  EXPECT_EQ(db_->conversation(sample_.bobChat), nullptr);
}

TEST_F(Messenger, FindsConversationsByGroupNumberMembersAndToken) {
  EXPECT_EQ(key(db_->conversationForGroup(sample_.bookClubGroupId)), sample_.bookClub);
  EXPECT_EQ(key(db_->conversationForGroup("1")), 0);
  // Alice is in two groups too; her number names the one-to-one chat.
  EXPECT_EQ(key(db_->conversationForNumber(sample_.alice.number)), sample_.aliceChat);
  EXPECT_EQ(key(db_->conversationForNumber(sample_.dave.number)), 0);
  EXPECT_EQ(key(db_->conversationForNumbers({sample_.bob.number, sample_.alice.number})),
            sample_.bookClub);
  EXPECT_EQ(key(db_->conversationForNumbers({sample_.bob.number})), sample_.bobChat);
  EXPECT_EQ(key(db_->conversationForNumbers({sample_.bob.number, "+1"})), 0);
  EXPECT_EQ(key(db_->conversationForPhoneNumIndexes(
                {sample_.okafor.phoneNumIndex, sample_.alice.phoneNumIndex,
                 sample_.dave.phoneNumIndex, sample_.zoe.phoneNumIndex})),
            sample_.weekendGroup);
  EXPECT_EQ(key(db_->conversationForPhoneNumIndexes({})), 0);
  EXPECT_EQ(key(db_->conversationForToken(sample_.zoeLatestToken)), sample_.zoeChat);
  EXPECT_EQ(key(db_->conversationForToken(-5)), 0);
}

TEST_F(Messenger, ATextSendWritesAnOutgoingMessageNowWithANewToken) {
  const std::string text = "Ünïcödé 👋🏽 \"quotes\" and\nnew line";
  double before = viberdb::now().sinceReferenceDate;
  auto sent = db_->sendText(sample_.zoeChat, text);
  double after = viberdb::now().sinceReferenceDate;
  EXPECT_FALSE(sent.phoneNumIndex);
  EXPECT_EQ(sent.text, text);
  EXPECT_GE(sent.date.sinceReferenceDate, before);
  EXPECT_LE(sent.date.sinceReferenceDate, after);
  ASSERT_TRUE(sent.token);
  EXPECT_GT(*sent.token, sample_.bookClubLatestToken);
  Dictionary m = last(sample_.zoeChat);
  EXPECT_EQ(field(m, "text"), text);
  EXPECT_EQ(field(m, "outgoing"), "1");
  EXPECT_EQ(field(m, "author"), "(absent)");
  EXPECT_EQ(field(m, "type"), "text");
  EXPECT_EQ(field(m, "token"), std::to_string(*sent.token));
  // A second send takes the next token.
  EXPECT_EQ(*db_->sendText(sample_.zoeChat, "again").token, *sent.token + 1);
}

TEST_F(Messenger, IncomingMessagesCarryTheirAuthorsNumber) {
  Dictionary m = last(sample_.weekendGroup);
  EXPECT_EQ(field(m, "outgoing"), "0");
  EXPECT_EQ(field(m, "author"), sample_.okafor.number);
  EXPECT_EQ(field(m, "text"), "Leaving at 8");
}

TEST_F(Messenger, AttachmentNamesThatCouldLeaveTheFolderAreRefused) {
  for (const char* name :
       {"", ".", "..", "../x.jpg", "a/b.jpg", "/etc/passwd", "x..jpg", "..\\x.jpg"}) {
    EXPECT_FALSE(MessengerDatabase::isAcceptableAttachmentName(name)) << name;
  }
  EXPECT_TRUE(MessengerDatabase::isAcceptableAttachmentName("170000000000.jpg"));
  // A file outside the folder exists, yet its name is refused before any look.
  std::ofstream(container_ / "Documents/outside.jpg") << "x";
  size_t before = db_->messages(sample_.aliceChat).size();
  EXPECT_FALSE(db_->sendPicture(sample_.aliceChat, "../outside.jpg", "c"));
  EXPECT_EQ(db_->attachment("../outside.jpg"), nullptr);
  EXPECT_FALSE(db_->sendPicture(sample_.aliceChat, "missing.jpg", "c"));
  EXPECT_EQ(db_->messages(sample_.aliceChat).size(), before);
}

TEST_F(Messenger, APictureIsRegisteredWithItsCaptionAndUploadedLater) {
  addAttachmentFile("123400.jpg");
  auto sent = db_->sendPicture(sample_.aliceChat, "123400.jpg", "caption ✓");
  ASSERT_TRUE(sent);
  Dictionary m = last(sample_.aliceChat);
  EXPECT_EQ(field(m, "type"), "picture");
  EXPECT_EQ(field(m, "text"), "caption ✓");
  EXPECT_EQ(field(m, "attachment"), "123400.jpg");
  EXPECT_EQ(field(m, "uploaded"), "0");
  auto attachment = db_->attachment("123400.jpg");
  ASSERT_TRUE(attachment);
  EXPECT_EQ(attachment->path(), (container_ / "Documents/Attachments/123400.jpg").string());
  db_->markUploaded(*attachment);
  EXPECT_EQ(field(last(sample_.aliceChat), "uploaded"), "1");
  // A registered attachment whose file is gone is not found.
  std::filesystem::remove(attachment->path());
  EXPECT_EQ(db_->attachment("123400.jpg"), nullptr);
  // Nor is a file that no message registered.
  addAttachmentFile("loose.jpg");
  EXPECT_EQ(db_->attachment("loose.jpg"), nullptr);
}

TEST_F(Messenger, MarkingAsReadCoversEveryMessageOfTheConversationOnly) {
  db_->database().execute("UPDATE ZVIBERMESSAGE SET ZREAD = 0");
  db_->database().execute("UPDATE ZCONVERSATION SET ZUNREADCOUNT = 3");
  db_->markRead(sample_.bobChat);
  for (auto& m : db_->messages(sample_.bobChat)) EXPECT_EQ(field(m, "read"), "1");
  for (auto& m : db_->messages(sample_.aliceChat)) EXPECT_EQ(field(m, "read"), "0");
  EXPECT_EQ(db_->unreadCount(sample_.bobChat), 0);
  EXPECT_EQ(db_->unreadCount(sample_.aliceChat), 3);
}

TEST_F(Messenger, TheReadOnlyReaderSeesWhatTheMessengerWrote) {
  db_->sendText(sample_.bobChat, "seen from outside 😀");
  db_->database().execute("UPDATE ZCONVERSATION SET ZUNREADCOUNT = 2 WHERE Z_PK = " +
                          std::to_string(sample_.bobChat));
  auto outside = readConversationReadOnly(databaseFile(), sample_.bobChat);
  EXPECT_EQ(outside.messages, db_->messages(sample_.bobChat));
  EXPECT_EQ(field(outside.messages.back(), "text"), "seen from outside 😀");
  EXPECT_EQ(outside.unreadCount, 2);
  EXPECT_EQ(readMessagesReadOnly(databaseFile(), sample_.bobChat), outside.messages);
  EXPECT_THROW(readMessagesReadOnly(container_ / "none.data", 1), platform::Error);
  EXPECT_THROW(readConversationReadOnly(databaseFile(), 999), platform::Error);
}

TEST_F(Messenger, OpeningAContainerWithoutADatabaseFails) {
  EXPECT_THROW(MessengerDatabase::open(container_ / "Documents"), platform::Error);
}

}  // namespace
}  // namespace platform::messenger
