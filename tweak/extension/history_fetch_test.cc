#include <sqlite3.h>

#include <cmath>
#include <fstream>

#include "platform/foundation/date_format.h"
#include "sqlite/testing/failing_calls.h"
#include "tweak/extension/extension_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Date;
using platform::foundation::describe;
using platform::viberdb::NewMessage;
using platform::viberdb::ViberDatabase;

constexpr double kHour = 3600;
constexpr double kDay = 86400;

class HistoryFetch : public testing::ExtensionTest {
 protected:
  // One line per message: "out|in timestamp-local content".
  std::string detail(const platform::couria::UserIdentifier& user) {
    std::string out;
    for (const auto& m : extension_->getMessages(user)) {
      out += (m->outgoing() ? "out " : "in ") +
             (m->timestamp() ? platform::foundation::formatLocalDateTime(*m->timestamp())
                             : std::string("NIL")) +
             " " + describe(m->content()) + "\n";
    }
    return out;
  }
  // Adds to `chat` one incoming message per local time, its text the time,
  // with tokens from `firstToken` on when given; answers the detail lines
  // that the history should show for them.
  std::string addDated(ViberDatabase& db, std::int64_t chat, std::int64_t number,
                       const std::vector<const char*>& dates,
                       std::optional<std::int64_t> firstToken = std::nullopt) {
    std::string expected;
    for (const char* local : dates) {
      NewMessage m;
      m.conversation = chat;
      m.phoneNumIndex = number;
      m.text = local;
      m.date = *platform::foundation::parseLocalDateTime(local);
      if (firstToken) m.token = (*firstToken)++;
      db.insertMessage(m);
      expected += std::string("in ") + local + " " + local + "\n";
    }
    return expected;
  }
  // The debug line naming the statement for the conversation `user`, three days
  // and the limit clause `limit`.
  static std::string sqlLine(const std::string& user, const std::string& limit) {
    return "PXVIBER: SQL string: SELECT M.ZCONVERSATION, datetime(M.ZDATE + 978307200, "
           "'unixepoch', 'localtime') AS MDATE, M.ZTEXT, M.ZPHONENUMINDEX, ZMAINNAME, ZSUFFIXNAME "
           "AS FULLNAME, ZCONVERSATION.ZGROUPID FROM ZVIBERMESSAGE AS M LEFT OUTER JOIN "
           "ZPHONENUMBERINDEX ON ZPHONENUMBERINDEX.Z_PK = M.ZPHONENUMINDEX LEFT OUTER JOIN "
           "ZABCONTACT ON ZPHONENUMBERINDEX.ZCONTACT = ZABCONTACT.Z_PK LEFT OUTER JOIN "
           "ZCONVERSATION ON M.ZCONVERSATION = ZCONVERSATION.Z_PK WHERE M.ZCONVERSATION = '" +
           user +
           "' AND M.ZDATE >= CAST(strftime('%s', 'now') AS INTEGER) - 978307200 - 3 * 86400 "
           "ORDER BY M.ZDATE DESC, M.Z_PK DESC " +
           limit + ";";
  }
  std::vector<std::shared_ptr<ORVCouriaViberMessage>> fetch(
      const platform::couria::UserIdentifier& user) {
    std::vector<std::shared_ptr<ORVCouriaViberMessage>> out;
    for (auto& m : extension_->getMessages(user)) {
      out.push_back(std::dynamic_pointer_cast<ORVCouriaViberMessage>(m));
    }
    return out;
  }
};

TEST_F(HistoryFetch, TenNewestOfTheLastThreeDaysOldestFirst) {
  // Alice's chat has 11 messages within three days; the ten newest are shown,
  // a NULL and an empty text as one blank each.
  EXPECT_EQ(contents(key(sample_.aliceChat)),
            "Great 👍| | |Café at 7? Ça va?|Sure|Running late|No worries|Here now|On my way|"
            "Where are you? 😀");
}

TEST_F(HistoryFetch, MessagesCarryTheirSixProperties) {
  auto list = fetch(key(sample_.aliceChat));
  ASSERT_EQ(list.size(), 10u);
  const auto& newest = list.back();
  EXPECT_EQ(describe(newest->content()), "Where are you? 😀");
  EXPECT_FALSE(newest->outgoing());
  EXPECT_EQ(newest->authorPhoneNumIndex(), key(sample_.alice.phoneNumIndex));
  EXPECT_EQ(newest->authorDisplayName(), "Alice Smith");
  EXPECT_EQ(newest->conversation(), key(sample_.aliceChat));
  // Whole seconds of the stored time.
  ASSERT_TRUE(newest->timestamp());
  EXPECT_EQ(newest->timestamp()->sinceReferenceDate, std::floor(ago(40 * 60).sinceReferenceDate));
  const auto& mine = list[list.size() - 2];
  EXPECT_TRUE(mine->outgoing());
  EXPECT_EQ(mine->authorPhoneNumIndex(), "");
  EXPECT_EQ(mine->authorDisplayName(), " ");
  for (std::size_t i = 1; i < list.size(); ++i) {
    EXPECT_LE(*list[i - 1]->timestamp(), *list[i]->timestamp());
  }
}

TEST_F(HistoryFetch, LimitsAndWindowFollowTheSettings) {
  settings().maxMessagesToDisplay = 0;  // no limit: the whole window
  EXPECT_EQ(fetch(key(sample_.aliceChat)).size(), 11u);
  settings().historyDaysToDisplay = 3650;
  EXPECT_EQ(fetch(key(sample_.aliceChat)).size(), 14u);
  settings().maxMessagesToDisplay = 2;
  EXPECT_EQ(contents(key(sample_.aliceChat)), "On my way|Where are you? 😀");
  settings().historyDaysToDisplay = 0;  // from the current second on: nothing
  EXPECT_EQ(contents(key(sample_.aliceChat)), "");
  // Bob: only one message of his is within three days.
  settings().historyDaysToDisplay = 3;
  settings().maxMessagesToDisplay = 10;
  EXPECT_EQ(contents(key(sample_.bobChat)), "Lunch today?");
  settings().historyDaysToDisplay = 5;
  EXPECT_EQ(contents(key(sample_.bobChat)), "Thanks!|Lunch today?");
}

TEST_F(HistoryFetch, NegativeSettingsCountAsZero) {
  setDebug(true);
  settings().maxMessagesToDisplay = -1;
  settings().historyDaysToDisplay = 3;
  EXPECT_EQ(fetch(key(sample_.aliceChat)).size(), 11u);
  EXPECT_TRUE(log_.contains(
      "PXVIBER: Found 11 messages in the DB for the last 3 days. (displaying max 0 messages)"));
  settings().historyDaysToDisplay = -2;
  EXPECT_EQ(contents(key(sample_.aliceChat)), "");
}

TEST_F(HistoryFetch, TwelveInTheWindowWithLimitTenGivesTheTenNewest) {
  std::int64_t chat;
  {
    ViberDatabase db = ViberDatabase::open(hostDatabase());
    chat = db.addConversation({std::nullopt, std::nullopt, {sample_.bob.phoneNumIndex}});
    for (int i = 12; i >= 1; --i) {
      NewMessage m;
      m.conversation = chat;
      m.phoneNumIndex = sample_.bob.phoneNumIndex;
      m.text = std::to_string(i) + "h ago";
      m.date = ago(i * kHour);
      db.insertMessage(m);
    }
  }
  EXPECT_EQ(contents(key(chat)),
            "10h ago|9h ago|8h ago|7h ago|6h ago|5h ago|4h ago|3h ago|2h ago|1h ago");
}

// Messages stored within one second, at different fractions of it or at the
// very same time: the panel shows them in the order they were stored, and the
// limit keeps the last ones stored.
TEST_F(HistoryFetch, MessagesOfTheSameSecondKeepTheOrderTheyWereStoredIn) {
  ViberDatabase db = emptyDatabase();
  std::int64_t number = db.addPhoneNumber("+1", std::nullopt);
  std::int64_t fractions = db.addConversation({std::nullopt, std::nullopt, {number}});
  std::int64_t same = db.addConversation({"g", std::nullopt, {number}});
  Date second{std::floor(ago(kHour).sinceReferenceDate)};
  for (const char* text : {"first", "second", "third"}) {
    NewMessage m;
    m.phoneNumIndex = number;
    m.text = text;
    m.conversation = same;
    m.date = second;
    db.insertMessage(m);
    m.conversation = fractions;
    second.sinceReferenceDate += 0.25;
    m.date = second;
    db.insertMessage(m);
  }
  EXPECT_EQ(contents(key(fractions)), "first|second|third");
  EXPECT_EQ(contents(key(same)), " : first| : second| : third");
  settings().maxMessagesToDisplay = 2;
  EXPECT_EQ(contents(key(fractions)), "second|third");
  EXPECT_EQ(contents(key(same)), " : second| : third");
}

TEST_F(HistoryFetch, GroupContentNamesIncomingAuthors) {
  settings().historyDaysToDisplay = 7;
  EXPECT_EQ(contents(key(sample_.weekendGroup)),
            "Who's in for the weekend trip?|Alice Smith: Me!| : Count me in| Okafor: I'll drive|"
            "Zoë Ångström:  | | :  |Packing list?|Zoë Ångström: Tent, 🍫 and snacks| Okafor: "
            "Leaving at 8");
  // In a one-to-one chat no content carries a name.
  EXPECT_EQ(contents(key(sample_.zoeChat)),
            "Grüße aus Köln! Ünïcödé ✓|Danke schön|Привет 👋 こんにちは");
}

TEST_F(HistoryFetch, MainNameOnlyAndInvalidTextColumns) {
  std::int64_t group, mainOnly;
  {
    ViberDatabase db = ViberDatabase::open(hostDatabase());
    std::int64_t contact = db.addContact("Bo", std::nullopt);
    mainOnly = db.addPhoneNumber("+100", contact);
    std::int64_t bad = db.addPhoneNumber("+101", db.addContact(std::nullopt, "Suffix"));
    std::int64_t worse = db.addPhoneNumber("+102", db.addContact(std::nullopt, std::nullopt));
    group = db.addConversation({"99", "G", {mainOnly, bad, worse}});
    auto add = [&](std::int64_t author, const char* text, double hoursAgo) {
      NewMessage m;
      m.conversation = group;
      m.phoneNumIndex = author;
      m.text = text;
      m.date = ago(hoursAgo * kHour);
      db.insertMessage(m);
    };
    add(mainOnly, "hello", 3);
    add(bad, "x", 2);
    add(worse, "y", 1);
    // Bytes that are not UTF-8: a main name, both names of a contact, a text.
    db.execute(
        "UPDATE ZABCONTACT SET ZMAINNAME = CAST(X'FF41' AS TEXT) WHERE ZSUFFIXNAME = 'Suffix'");
    db.execute(
        "UPDATE ZABCONTACT SET ZMAINNAME = CAST(X'C3' AS TEXT), ZSUFFIXNAME = CAST(X'FE' AS "
        "TEXT) WHERE Z_PK = (SELECT ZCONTACT FROM ZPHONENUMBERINDEX WHERE ZPHONENUM = '+102')");
    db.execute("UPDATE ZVIBERMESSAGE SET ZTEXT = CAST(X'80' AS TEXT) WHERE ZTEXT = 'y'");
  }
  auto list = fetch(key(group));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(describe(list[0]->content()), "Bo : hello");
  EXPECT_EQ(list[0]->authorDisplayName(), "Bo ");
  EXPECT_EQ(describe(list[1]->content()), "Suffix: x");
  EXPECT_EQ(list[1]->authorDisplayName(), "Suffix");
  // Neither half is text: no display name, and a text that is not text shows blank.
  EXPECT_EQ(list[2]->authorDisplayName(), std::nullopt);
  EXPECT_EQ(describe(list[2]->content()), "(null):  ");
}

TEST_F(HistoryFetch, NilUserAndFetchOffGiveEmptyLists) {
  EXPECT_EQ(contents(std::nullopt), "");
  EXPECT_EQ(contents("not a number"), "");
  setDebug(true);
  settings().fetchHistoryFromDB = false;
  std::filesystem::remove(hostDatabase());
  EXPECT_EQ(contents(key(sample_.aliceChat)), "");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(HistoryFetch, DebugLinesNameTheStatementAndTheNewestMessage) {
  setDebug(true);
  settings().maxMessagesToDisplay = 3;
  auto list = fetch(key(sample_.zoeChat));
  ASSERT_EQ(list.size(), 3u);
  auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "PXVIBER: DB path: " + databasePath_);
  EXPECT_EQ(lines[1], sqlLine(key(sample_.zoeChat), " LIMIT 3"));
  EXPECT_EQ(lines[2],
            "PXVIBER: Found 3 messages in the DB for the last 3 days. (displaying max 3 messages)");
  EXPECT_EQ(lines[3], "PXVIBER: latest message in DB is 'Привет 👋 こんにちは', timestamp " +
                          platform::foundation::describeDate(list.back()->timestamp()));
  log_.clear();
  settings().maxMessagesToDisplay = 0;
  fetch(key(sample_.zoeChat));
  ASSERT_GE(log_.lines().size(), 2u);
  EXPECT_TRUE(log_.lines()[1].ends_with("ORDER BY M.ZDATE DESC, M.Z_PK DESC ;"));
}

// A database without the contact table: the statement does not prepare, and
// with debugMode on it is named all the same, as it would have run.
TEST_F(HistoryFetch, AStatementThatFailsToPrepareIsNamedFirst) {
  ViberDatabase::open(hostDatabase()).execute("DROP TABLE ZABCONTACT");
  setDebug(true);
  settings().maxMessagesToDisplay = 3;
  EXPECT_EQ(contents("1'; --"), "");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "PXVIBER: DB path: " + databasePath_, sqlLine("1''; --", " LIMIT 3"),
                              "PXVIBER: Failed to retrieve table, error Code: 1"}));
}

TEST_F(HistoryFetch, FailuresWriteTheirLineAndGiveAnEmptyList) {
  std::filesystem::remove(hostDatabase());
  EXPECT_EQ(contents(key(sample_.aliceChat)), "");
  std::ofstream(hostDatabase()) << "not a database at all, just some text";
  EXPECT_EQ(contents(key(sample_.aliceChat)), "");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"PXVIBER: Failed to find user's DB!",
                                      "PXVIBER: Failed to retrieve table, error Code: 26"}));
}

// The database turns busy after two rows: the two newest messages are the
// answer, and the failure writes no line of its own.
TEST_F(HistoryFetch, AStepThatFailsKeepsTheMessagesReadBeforeIt) {
  sqlite::testing::FailingCalls busy(sqlite::testing::FailingCalls::Which::Step, 3, SQLITE_BUSY);
  processState().sqlite = &busy;
  EXPECT_EQ(contents(key(sample_.aliceChat)), "On my way|Where are you? 😀");
  EXPECT_TRUE(log_.lines().empty());
}

// Stored dates near leap days, where a shift of 31 calendar years lands a day
// early; the times read back must be the stored ones in any zone.
TEST_F(HistoryFetch, TimesAreExactAcrossLeapDays) {
  std::vector<const char*> dates = {
      "2015-06-15 12:00:00", "2016-02-28 23:30:00", "2016-02-29 00:30:00", "2016-03-01 00:30:00",
      "2027-03-02 08:00:00", "2028-02-29 12:00:00", "2028-03-01 00:00:01"};
  for (const char* zone : {"UTC", "America/New_York", "Asia/Tokyo"}) {
    testing::TimeZone tz(zone);
    ViberDatabase db = emptyDatabase();
    std::int64_t number = db.addPhoneNumber("+1", std::nullopt);
    std::int64_t chat = db.addConversation({std::nullopt, std::nullopt, {number}});
    std::string expected = addDated(db, chat, number, dates);
    settings().historyDaysToDisplay = 20000;
    settings().maxMessagesToDisplay = 0;
    EXPECT_EQ(detail(key(chat)), expected) << zone;
  }
}

// A phone that has handed out keys past 2^32 and tokens near 2^63, with
// messages dated after 2038: the notification's token finds the conversation,
// whose history keeps every key and local time, on 32-bit processors too.
TEST_F(HistoryFetch, KeysPast2To32TokensNear2To63AndDatesPast2038) {
  testing::TimeZone tz("Europe/Berlin");
  ViberDatabase db = emptyDatabase();
  db.execute(
      "UPDATE Z_PRIMARYKEY SET Z_MAX = 4294967300 WHERE Z_NAME IN "
      "('Conversation', 'PhoneNumberIndex', 'ViberMessage')");
  std::int64_t number = db.addPhoneNumber("+15550100001", std::nullopt);
  std::int64_t chat = db.addConversation({std::nullopt, std::nullopt, {number}});
  ASSERT_EQ(chat, 4294967301);
  std::string expected = addDated(
      db, chat, number, {"2038-01-19 04:14:07", "2038-01-19 04:14:08", "2040-07-01 12:00:00"},
      9223372036854775000);
  EXPECT_EQ(extension_->getConversationIDForMessageWithToken("9223372036854775000"), "4294967301");
  EXPECT_EQ(extension_->getConversationIDForNumber("+15550100001", std::nullopt), "4294967301");
  settings().historyDaysToDisplay = 20000;
  EXPECT_EQ(detail(key(chat)), expected);
  auto newest = fetch(key(chat)).back();
  EXPECT_EQ(newest->conversation(), "4294967301");
  EXPECT_EQ(newest->authorPhoneNumIndex(), "4294967301");
  EXPECT_EQ(newest->timestamp(), platform::foundation::Date::fromUnix(2224756800 - 2 * 3600));
}

TEST_F(HistoryFetch, WindowEdgeIsExactToTheMinute) {
  ViberDatabase db = emptyDatabase();
  std::int64_t number = db.addPhoneNumber("+1", std::nullopt);
  std::int64_t chat = db.addConversation({std::nullopt, std::nullopt, {number}});
  for (double offset : {-60.0, 60.0}) {
    NewMessage m;
    m.conversation = chat;
    m.phoneNumIndex = number;
    m.text = offset < 0 ? "inside" : "outside";
    m.date = ago(3 * kDay + offset);
    db.insertMessage(m);
  }
  EXPECT_EQ(contents(key(chat)), "inside");
}

TEST_F(HistoryFetch, ReadsWhileTheMessengerHoldsAWriteTransaction) {
  ViberDatabase writer = ViberDatabase::open(hostDatabase());
  writer.execute("BEGIN IMMEDIATE");
  NewMessage m;
  m.conversation = sample_.zoeChat;
  m.text = "not yet committed";
  m.date = ago(60);
  writer.insertMessage(m);
  // WAL: the reader sees the last committed state without waiting.
  EXPECT_EQ(contents(key(sample_.zoeChat)),
            "Grüße aus Köln! Ünïcödé ✓|Danke schön|Привет 👋 こんにちは");
  EXPECT_EQ(text(extension_->getConversationIDForMessageWithToken(
                std::to_string(sample_.zoeLatestToken))),
            key(sample_.zoeChat));
  writer.execute("COMMIT");
  EXPECT_EQ(contents(key(sample_.zoeChat)),
            "Grüße aus Köln! Ünïcödé ✓|Danke schön|Привет 👋 こんにちは|not yet committed");
  EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace tweak
