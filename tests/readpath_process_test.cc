// The read path on a running device: pxviber push delivers a bulletin to the
// springboard, whose Couria asks the extension loaded into it for the
// conversation, the nickname and the history in the sample Viber database.
#include <sqlite3.h>

#include <cmath>

#include "platform/foundation/date_format.h"
#include "platform/viberdb/viber_database.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/device.h"

namespace tests {
namespace {

using platform::viberdb::StoredMessage;
using platform::viberdb::ViberDatabase;

class ReadPath : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    createDevice();
    auto viber = pxviber::findViber(root_);
    ASSERT_TRUE(viber);
    database_ = viber->dataContainer / "Documents/Contacts.data";
    start();
  }

  // One integer from the sample database.
  std::string query(const std::string& sql) const {
    ViberDatabase db = ViberDatabase::open(database_);
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
    std::string out;
    if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0)) {
      out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    }
    sqlite3_finalize(s);
    return out;
  }

  // The one-to-one chat of a number, or the group it belongs to.
  std::string conversationOf(const std::string& number, const std::string& group = "") const {
    return query(
        "SELECT J.Z_4CONVERSATIONS FROM Z_4PHONENUMINDEXES AS J JOIN ZPHONENUMBERINDEX AS P ON "
        "P.Z_PK = J.Z_8PHONENUMINDEXES JOIN ZCONVERSATION AS C ON C.Z_PK = J.Z_4CONVERSATIONS "
        "WHERE P.ZPHONENUM = '" +
        number + "' AND " + (group.empty() ? "C.ZGROUPID IS NULL" : "C.ZGROUPID = " + group));
  }

  StoredMessage newest(const std::string& conversation) const {
    ViberDatabase db = ViberDatabase::open(database_);
    return db.messages(std::stoll(conversation)).back();
  }

  static std::string isoTime(const StoredMessage& m) {
    return platform::foundation::iso8601Local(
        platform::foundation::Date{std::floor(m.date.sinceReferenceDate)});
  }

  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  std::string push(const std::string& args) {
    std::string out;
    EXPECT_EQ(pxviber("push --root " + root_.string() + " " + args, &out), 0) << out;
    return out;
  }

  std::filesystem::path database_;
};

TEST_F(ReadPath, RemoteFormByNumberShowsTheChatOldestFirst) {
  std::string alice = conversationOf("+15550100001");
  ASSERT_FALSE(alice.empty());
  std::string json =
      push("--number +15550100001 --text 'Alice Smith: Where are you?' --form remote --json");
  EXPECT_TRUE(json.ends_with("],\"nickname\":\"Alice Smith\",\"user\":\"" + alice + "\"}\n"))
      << json;
  // The ten newest of the eleven messages of the last three days.
  EXPECT_EQ(count(json, "\"content\":"), 10);
  EXPECT_EQ(count(json, "\"outgoing\":true"), 5);
  StoredMessage last = newest(alice);
  std::string newestJson = "{\"authorDisplayName\":\"Alice Smith\",\"authorPhoneNumIndex\":\"" +
                           std::to_string(*last.phoneNumIndex) +
                           "\",\"content\":\"Where are you? 😀\",\"conversation\":\"" + alice +
                           "\",\"outgoing\":false,\"timestamp\":\"" + isoTime(last) + "\"}]";
  EXPECT_NE(json.find(newestJson), std::string::npos) << json;
  EXPECT_LT(json.find("Great 👍"), json.find("Café at 7?"));
  EXPECT_EQ(json.find("Long time no see"), std::string::npos);
}

TEST_F(ReadPath, LocalFormByTokenFindsTheGroup) {
  std::string group = conversationOf("+2348000100005", "5712345678901234567");
  StoredMessage last = newest(group);
  std::string json = push("--token " + std::to_string(*last.token) +
                          " --form local --text 'Okafor: Leaving at 8' --json");
  EXPECT_TRUE(json.ends_with("],\"nickname\":\"Okafor\",\"user\":\"" + group + "\"}\n")) << json;
  // Incoming group messages name their author, the user's own do not.
  EXPECT_NE(json.find("\"content\":\" Okafor: Leaving at 8\""), std::string::npos);
  EXPECT_NE(json.find("\"content\":\"Packing list?\",\"conversation\":\"" + group +
                      "\",\"outgoing\":true"),
            std::string::npos);
  EXPECT_NE(json.find("\"content\":\"Zoë Ångström:  \""), std::string::npos);
}

TEST_F(ReadPath, UserInfoFormByNumberAndGroupPrintsThePanel) {
  std::string group = conversationOf("+15550100004", "5712345678901234567");
  std::string text = push(
      "--number +15550100004 --group 5712345678901234567 --form userinfo "
      "--text '+15550100004: Count me in'");
  EXPECT_EQ(
      text.substr(0, text.find('\n')),
      "Couria reply panel (com.viber): +15550100004 [conversation " + group + "], 9 messages");
  EXPECT_NE(text.find("         > Packing list?\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  <  Okafor: Leaving at 8\n"), std::string::npos) << text;
  EXPECT_TRUE(waitForMessageFrom("SpringBoard",
                                 "SpringBoard: reply panel shown for com.viber "
                                 "(conversation " +
                                     group + ", 9 messages)"));
}

// An empty group is a group: the payload carries "gi" = "", and the lookup then
// never finds the one-to-one chat of the number.
TEST_F(ReadPath, AnEmptyGroupIsSentAndMatchesNoOneToOneChat) {
  std::string alice = conversationOf("+15550100001");
  std::string json = push("--number +15550100001 --text 'Alice Smith: hi' --json");
  EXPECT_TRUE(json.ends_with("\"user\":\"" + alice + "\"}\n")) << json;
  json = push("--number +15550100001 --group '' --text 'Alice Smith: hi' --json");
  EXPECT_EQ(json, "{\"messages\":[],\"nickname\":null,\"user\":null}\n");
}

TEST_F(ReadPath, UnknownSenderGivesAnEmptyPanel) {
  std::string json = push("--token 1 --text 'Nobody: hi' --json");
  EXPECT_EQ(json, "{\"messages\":[],\"nickname\":null,\"user\":null}\n");
}

TEST_F(ReadPath, DebugModeLogsTheLookupInTheSpringboard) {
  writeSettings({{"debugMode", platform::foundation::Value(true)}});
  // The settings are read on the next preferences notification.
  ASSERT_EQ(
      pxviber("notify post org.northquay.parlexviber.preferencesChanged --root " + root_.string()),
      0);
  ASSERT_TRUE(waitForMessageFrom("SpringBoard", "PXVIBER: preferences reloaded"));
  std::string alice = conversationOf("+15550100001");
  push("--number +15550100001 --text 'Alice Smith: hi' --json");
  EXPECT_TRUE(waitForMessageFrom(
      "SpringBoard", "PXVIBER: returning conversation ID " + alice + " for token: (null)"));
  EXPECT_TRUE(waitForMessageFrom("SpringBoard", "PXVIBER: Found 10 messages in the DB"));
}

}  // namespace
}  // namespace tests
