#include "platform/viberdb/viber_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "platform/foundation/error.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/viberdb/large_database.h"
#include "platform/viberdb/sample_content.h"

namespace platform::viberdb {
namespace {

namespace fs = std::filesystem;

class ViberDatabaseTest : public ::testing::Test {
 protected:
  // The rows of a one-column query joined by commas.
  static std::string column(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
    std::string out;
    while (sqlite3_step(s) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      out += (out.empty() ? "" : ",") + std::string(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    sqlite3_finalize(s);
    return out;
  }

  platform::foundation::testing::ScratchFolder scratch_{"pxviber-viberdb"};
  fs::path dir_ = scratch_.path();
  fs::path file_ = dir_ / "Documents/Contacts.data";
};

TEST_F(ViberDatabaseTest, SchemaHasCoreDataShape) {
  ViberDatabase db = ViberDatabase::create(file_);
  sqlite3* h = db.handle();
  EXPECT_EQ(column(h, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(column(h, "SELECT Z_NAME FROM Z_PRIMARYKEY ORDER BY Z_ENT"),
            "ABContact,Attachment,Call,Conversation,Location,Participant,PhoneNumber,"
            "PhoneNumberIndex,ViberMessage");
  EXPECT_EQ(column(h,
                   "SELECT Z_ENT FROM Z_PRIMARYKEY WHERE Z_NAME IN ('Conversation', "
                   "'PhoneNumberIndex') ORDER BY Z_ENT"),
            "4,8");
  EXPECT_EQ(column(h, "SELECT name FROM pragma_table_info('Z_4PHONENUMINDEXES')"),
            "Z_4CONVERSATIONS,Z_8PHONENUMINDEXES");
  for (const char* table : {"ZVIBERMESSAGE", "ZCONVERSATION", "ZPHONENUMBERINDEX", "ZABCONTACT"}) {
    EXPECT_EQ(
        column(h, std::string("SELECT name FROM pragma_table_info('") + table + "') WHERE cid < 3"),
        "Z_PK,Z_ENT,Z_OPT")
        << table;
  }
  EXPECT_EQ(column(h, "SELECT name FROM pragma_index_list('ZVIBERMESSAGE') ORDER BY name"),
            "ZVIBERMESSAGE_ZATTACHMENT_INDEX,ZVIBERMESSAGE_ZCONVERSATION_INDEX,"
            "ZVIBERMESSAGE_ZLOCATION_INDEX,ZVIBERMESSAGE_ZPHONENUMINDEX_INDEX,"
            "ZVIBERMESSAGE_ZTOKEN_INDEX");
}

TEST_F(ViberDatabaseTest, MetadataNamesEveryEntityAndTheStore) {
  std::string uuid;
  {
    ViberDatabase db = ViberDatabase::create(file_);
    uuid = column(db.handle(), "SELECT Z_UUID FROM Z_METADATA");
  }
  ViberDatabase db = ViberDatabase::open(file_);
  StoreMetadata m = db.metadata();
  EXPECT_EQ(m.uuid, uuid);
  EXPECT_EQ(m.uuid.size(), 36u);
  EXPECT_EQ(m.storeType, "SQLite");
  ASSERT_EQ(m.versionHashes.size(), 9u);
  EXPECT_EQ(m.versionHashes.count("Conversation"), 1u);
  EXPECT_EQ(m.versionHashes["Conversation"].size(), 32u);
  EXPECT_NE(m.versionHashes["Conversation"], m.versionHashes["ViberMessage"]);
  const foundation::Value* id = foundation::find(m.plist, "NSStoreUUID");
  ASSERT_TRUE(id && id->asString());
  EXPECT_EQ(*id->asString(), uuid);
}

TEST_F(ViberDatabaseTest, CreateRefusesAnExistingFileAndOpenAMissingOne) {
  { ViberDatabase::create(file_); }
  EXPECT_THROW(ViberDatabase::create(file_), Error);
  EXPECT_THROW(ViberDatabase::open(dir_ / "nothing.data"), Error);
}

TEST_F(ViberDatabaseTest, AddersKeepPrimaryKeysInStep) {
  ViberDatabase db = ViberDatabase::create(file_);
  std::int64_t contact = db.addContact("Ann", std::nullopt);
  std::int64_t n1 = db.addPhoneNumber("+1", contact);
  std::int64_t n2 = db.addPhoneNumber("+2", std::nullopt);
  std::int64_t c1 = db.addConversation({std::nullopt, std::nullopt, {n1}});
  std::int64_t c2 = db.addConversation({"77", "Group", {n2, n1}});
  EXPECT_EQ(contact, 1);
  EXPECT_EQ(n2, n1 + 1);
  EXPECT_EQ(c2, c1 + 1);
  EXPECT_EQ(
      column(db.handle(), "SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_ENT IN (1, 4, 8) ORDER BY Z_ENT"),
      "1,2,2");
  auto info = db.conversation(c2);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->groupId, "77");
  EXPECT_EQ(info->phoneNumbers, (std::vector<std::string>{"+1", "+2"}));
  EXPECT_FALSE(db.conversation(c2 + 1));
  EXPECT_EQ(db.phoneNumberIndex("+2"), n2);
  EXPECT_FALSE(db.phoneNumberIndex("+3"));
}

TEST_F(ViberDatabaseTest, InsertMessageStoresItAndUpdatesTheConversation) {
  ViberDatabase db = ViberDatabase::create(file_);
  std::int64_t n = db.addPhoneNumber("+1", std::nullopt);
  std::int64_t c = db.addConversation({std::nullopt, std::nullopt, {n}});
  NewMessage in;
  in.conversation = c;
  in.phoneNumIndex = n;
  in.text = "hi";
  in.date = {100};
  in.read = false;
  std::int64_t first = db.insertMessage(in);
  NewMessage out;
  out.conversation = c;
  out.date = {200};
  out.type = kTypePicture;
  out.attachmentName = "12300.jpg";
  std::int64_t second = db.insertMessage(out);
  db.setMessageState(second, kStateSent);

  auto all = db.messages(c);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].pk, first);
  EXPECT_EQ(all[0].text, "hi");
  EXPECT_EQ(all[0].state, kStateReceived);
  EXPECT_EQ(all[0].token, 1);
  EXPECT_EQ(all[1].token, 2);
  EXPECT_FALSE(all[1].phoneNumIndex);
  EXPECT_FALSE(all[1].text);
  EXPECT_EQ(all[1].state, kStateSent);
  EXPECT_EQ(all[1].attachmentName, "12300.jpg");
  EXPECT_EQ(db.messageWithAttachment("12300.jpg")->pk, second);
  EXPECT_FALSE(db.messageWithAttachment("none.jpg"));
  EXPECT_EQ(column(db.handle(), "SELECT ZDATE || ' ' || ZUNREADCOUNT FROM ZCONVERSATION"), "200 1");
  NewMessage stray;
  stray.conversation = 99;
  EXPECT_THROW(db.insertMessage(stray), Error);
}

TEST_F(ViberDatabaseTest, TransactionRollsBackWhenWorkThrows) {
  ViberDatabase db = ViberDatabase::create(file_);
  EXPECT_THROW(db.transaction([&] {
    db.addContact("Gone", std::nullopt);
    throw Error("stop");
  }),
               Error);
  EXPECT_EQ(db.countRows("ZABCONTACT"), 0);
}

TEST_F(ViberDatabaseTest, SampleContentCoversThePanelCases) {
  foundation::Date now{800000000};
  SampleContent s = createSampleDatabase(file_, now);
  ViberDatabase db = ViberDatabase::open(file_);
  sqlite3* h = db.handle();
  EXPECT_EQ(s.aliceMessages, 14);
  EXPECT_EQ(s.aliceWithin3Days, 11);
  EXPECT_EQ(db.messages(s.aliceChat).size(), 14u);
  EXPECT_EQ(db.messages(s.weekendGroup).size(), static_cast<std::size_t>(s.weekendMessages));
  // A NULL and an empty text, in a chat and in the group.
  EXPECT_EQ(column(h, "SELECT COUNT(*) FROM ZVIBERMESSAGE WHERE ZTEXT IS NULL"), "2");
  EXPECT_EQ(column(h, "SELECT COUNT(*) FROM ZVIBERMESSAGE WHERE ZTEXT = ''"), "3");
  // Group members with full, suffix-only and no contact names.
  EXPECT_EQ(column(h,
                   "SELECT COALESCE(C.ZMAINNAME, '-') || '/' || COALESCE(C.ZSUFFIXNAME, '-') "
                   "FROM Z_4PHONENUMINDEXES AS J JOIN ZPHONENUMBERINDEX AS P ON P.Z_PK = "
                   "J.Z_8PHONENUMINDEXES LEFT JOIN ZABCONTACT AS C ON C.Z_PK = P.ZCONTACT "
                   "WHERE J.Z_4CONVERSATIONS = " +
                       std::to_string(s.weekendGroup) + " ORDER BY P.Z_PK"),
            "Alice/Smith,Zoë/Ångström,-/-,-/Okafor");
  // The newest message of each chat is the one its token names.
  EXPECT_EQ(db.messages(s.aliceChat).back().token, s.aliceLatestToken);
  EXPECT_EQ(db.messages(s.zoeChat).back().text, "Привет 👋 こんにちは");
  EXPECT_EQ(db.messages(s.aliceChat).front().date.sinceReferenceDate,
            now.sinceReferenceDate - 30 * 86400);
  EXPECT_EQ(column(h, "SELECT COUNT(DISTINCT ZTOKEN) = COUNT(*) FROM ZVIBERMESSAGE"), "1");
  // Others' messages of the last hour are unread, and counted per conversation.
  EXPECT_EQ(column(h, "SELECT ZUNREADCOUNT FROM ZCONVERSATION ORDER BY Z_PK"), "1,0,1,2,0");
  EXPECT_EQ(column(h,
                   "SELECT ZCONVERSATION || ':' || COUNT(*) FROM ZVIBERMESSAGE WHERE ZREAD = 0 "
                   "GROUP BY ZCONVERSATION ORDER BY ZCONVERSATION"),
            "1:1,3:1,4:2");
}

TEST_F(ViberDatabaseTest, LargeGeneratorHonoursItsShape) {
  LargeDatabaseOptions o;
  o.messages = 20000;
  o.conversations = 50;
  o.hotMessages = 5000;
  LargeDatabaseInfo info = generateLargeDatabase(file_, o, foundation::Date{800000000});
  EXPECT_EQ(info.messages, 20000);
  EXPECT_EQ(info.mediumMessages, 1000);
  ViberDatabase db = ViberDatabase::open(file_);
  sqlite3* h = db.handle();
  EXPECT_EQ(column(h, "SELECT COUNT(*) FROM ZVIBERMESSAGE WHERE ZCONVERSATION = 1"), "5000");
  EXPECT_EQ(column(h, "SELECT COUNT(*) FROM ZCONVERSATION"), "50");
  // Three years back from now, evenly.
  EXPECT_EQ(column(h,
                   "SELECT CAST((MAX(ZDATE) - MIN(ZDATE)) / 86400 AS INTEGER) FROM "
                   "ZVIBERMESSAGE WHERE ZCONVERSATION = 1"),
            "1095");
  EXPECT_EQ(column(h, "SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = " +
                          std::to_string(info.hotLatestToken)),
            "1");
  EXPECT_EQ(column(h, "SELECT ZGROUPID FROM ZCONVERSATION WHERE Z_PK = " +
                          std::to_string(info.groupConversation)),
            info.groupId);
  EXPECT_FALSE(info.groupMemberNumber.empty());
  // Inserted in date order: keys and dates rise together.
  EXPECT_EQ(column(h,
                   "SELECT COUNT(*) FROM ZVIBERMESSAGE AS A JOIN ZVIBERMESSAGE AS B ON "
                   "B.Z_PK = A.Z_PK + 1 WHERE B.ZDATE < A.ZDATE"),
            "0");
}

}  // namespace
}  // namespace platform::viberdb
