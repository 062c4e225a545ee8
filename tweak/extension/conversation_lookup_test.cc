#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tweak/extension/extension_test_fixture.h"

namespace tweak {
namespace {

using platform::viberdb::NewMessage;
using platform::viberdb::ViberDatabase;

class ConversationLookup : public testing::ExtensionTest {
 protected:
  std::string byToken(const std::optional<std::string>& token) {
    return text(extension_->getConversationIDForMessageWithToken(token));
  }
  std::string byNumber(const std::optional<std::string>& number,
                       const std::optional<std::string>& group) {
    return text(extension_->getConversationIDForNumber(number, group));
  }
  std::string tokenText(std::int64_t token) { return std::to_string(token); }
};

TEST_F(ConversationLookup, TokenFindsItsConversation) {
  EXPECT_EQ(byToken(tokenText(sample_.aliceLatestToken)), key(sample_.aliceChat));
  EXPECT_EQ(byToken(tokenText(sample_.weekendLatestToken)), key(sample_.weekendGroup));
  EXPECT_EQ(byToken("1"), "NIL");
  // The column is numeric: leading zeros and a real spelling compare as numbers.
  EXPECT_EQ(byToken("0" + tokenText(sample_.zoeLatestToken)), key(sample_.zoeChat));
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ConversationLookup, NilTokenRunsTheStatementAndFindsNothing) {
  setDebug(true);
  EXPECT_EQ(byToken(std::nullopt), "NIL");
  EXPECT_EQ(
      log_.lines(),
      (std::vector<std::string>{
          "PXVIBER: DB path: " + databasePath_,
          "PXVIBER: SQL string: SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = NULL;"}));
}

TEST_F(ConversationLookup, DebugLinesShowTheStatementWithItsValues) {
  setDebug(true);
  std::string token = tokenText(sample_.aliceLatestToken);
  EXPECT_EQ(byToken(token), key(sample_.aliceChat));
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{
                "PXVIBER: DB path: " + databasePath_,
                "PXVIBER: SQL string: SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = '" +
                    token + "';",
                "PXVIBER: Found conversation ID: " + key(sample_.aliceChat)}));
  log_.clear();
  EXPECT_EQ(byNumber(sample_.alice.number, sample_.weekendGroupId), key(sample_.weekendGroup));
  auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "PXVIBER: getConversationIDForNumber DB path: " + databasePath_);
  EXPECT_EQ(lines[1],
            "PXVIBER: SQL string: select z_4conversations from z_4phonenumindexes, "
            "zphonenumberindex, zconversation where zphonenumberindex.zphonenum='+15550100001' and "
            "z_8phonenumindexes= zphonenumberindex.z_pk and z_4conversations = zconversation.z_pk "
            "and zconversation.zgroupid = '5712345678901234567' order by z_4conversations desc "
            "limit 1;");
  EXPECT_EQ(lines[2], "PXVIBER: Found conversation ID: " + key(sample_.weekendGroup));
}

TEST_F(ConversationLookup, SharedTokenGivesTheLastRowsConversation) {
  {
    ViberDatabase db = ViberDatabase::open(hostDatabase());
    for (std::int64_t conversation : {sample_.bobChat, sample_.zoeChat}) {
      NewMessage m;
      m.conversation = conversation;
      m.token = 42;
      db.insertMessage(m);
    }
  }
  EXPECT_EQ(byToken("42"), key(sample_.zoeChat));
}

TEST_F(ConversationLookup, NullConversationColumnGivesTheEmptyString) {
  {
    ViberDatabase db = ViberDatabase::open(hostDatabase());
    db.execute(
        "INSERT INTO ZVIBERMESSAGE (Z_PK, Z_ENT, Z_OPT, ZCONVERSATION, ZTOKEN) VALUES "
        "(9000, 9, 1, NULL, 77)");
  }
  EXPECT_EQ(byToken("77"), "");
}

TEST_F(ConversationLookup, NumberAndGroupChooseTheConversation) {
  EXPECT_EQ(byNumber(sample_.alice.number, std::nullopt), key(sample_.aliceChat));
  EXPECT_EQ(byNumber(sample_.alice.number, sample_.weekendGroupId), key(sample_.weekendGroup));
  EXPECT_EQ(byNumber(sample_.alice.number, sample_.bookClubGroupId), key(sample_.bookClub));
  EXPECT_EQ(byNumber(sample_.bob.number, sample_.weekendGroupId), "NIL");
  // Dave is only in the group; Zoë's one-to-one chat is hers alone.
  EXPECT_EQ(byNumber(sample_.dave.number, std::nullopt), "NIL");
  EXPECT_EQ(byNumber(sample_.zoe.number, std::nullopt), key(sample_.zoeChat));
  EXPECT_EQ(byNumber(std::nullopt, std::nullopt), "NIL");
  EXPECT_EQ(byNumber(std::nullopt, sample_.weekendGroupId), "NIL");
  // The empty group is a group: it never finds a one-to-one chat.
  EXPECT_EQ(byNumber(sample_.alice.number, ""), "NIL");
}

TEST_F(ConversationLookup, HighestConversationKeyWins) {
  std::int64_t newer;
  {
    ViberDatabase db = ViberDatabase::open(hostDatabase());
    newer = db.addConversation({std::nullopt, std::nullopt, {sample_.alice.phoneNumIndex}});
  }
  EXPECT_GT(newer, sample_.aliceChat);
  EXPECT_EQ(byNumber(sample_.alice.number, std::nullopt), key(newer));
}

TEST_F(ConversationLookup, QuotesAreJustCharacters) {
  setDebug(false);
  EXPECT_EQ(byNumber("+1555'0100001", std::nullopt), "NIL");
  EXPECT_EQ(byNumber(sample_.alice.number, "57'12"), "NIL");
  // What used to escape the quotes and match every row now matches nothing.
  EXPECT_EQ(byNumber("x' or '1'='1", std::nullopt), "NIL");
  EXPECT_EQ(byNumber(sample_.alice.number, "x' or zconversation.zgroupid is null or '"), "NIL");
  EXPECT_EQ(byToken("0 OR 1=1"), "NIL");
  EXPECT_EQ(byToken("1; DROP TABLE ZVIBERMESSAGE"), "NIL");
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(byToken(tokenText(sample_.aliceLatestToken)), key(sample_.aliceChat));
}

// Each failure writes its one line and runs no statement (no "SQL string").
TEST_F(ConversationLookup, MissingDatabaseWritesOneLine) {
  setDebug(true);
  std::filesystem::remove(hostDatabase());
  EXPECT_EQ(byNumber(sample_.alice.number, std::nullopt), "NIL");
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                              "PXVIBER: getConversationIDForNumber DB path: " + databasePath_,
                              "PXVIBER: Failed to find user's DB!"}));
}

TEST_F(ConversationLookup, ViberNotInstalledLooksAtANilPath) {
  setDebug(true);
  std::filesystem::remove_all(platform::foundation::hostPath("/private/var/containers"));
  EXPECT_EQ(byToken("1"), "NIL");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"PXVIBER: DB path: (null)/Documents/Contacts.data",
                                      "PXVIBER: Failed to find user's DB!"}));
}

TEST_F(ConversationLookup, FileThatIsNoDatabaseFailsToPrepare) {
  std::filesystem::remove(hostDatabase());
  std::ofstream(hostDatabase()) << std::string(4096, 'x');
  EXPECT_EQ(byToken("1"), "NIL");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"PXVIBER: Failed to retrieve table, error Code: 26"}));
}

// Without the message table the token statement does not prepare; with
// debugMode on it is named before the failure, its value filled in.
TEST_F(ConversationLookup, AStatementThatFailsToPrepareIsNamedFirst) {
  ViberDatabase::open(hostDatabase()).execute("DROP TABLE ZVIBERMESSAGE");
  setDebug(true);
  EXPECT_EQ(byToken("7"), "NIL");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{
                "PXVIBER: DB path: " + databasePath_,
                "PXVIBER: SQL string: SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = '7';",
                "PXVIBER: Failed to retrieve table, error Code: 1"}));
}

TEST_F(ConversationLookup, DatabaseThatCannotBeOpened) {
  // A folder in the database's place exists and is readable, but SQLite
  // cannot open it.
  std::filesystem::remove(hostDatabase());
  std::filesystem::create_directories(hostDatabase());
  EXPECT_EQ(byToken("1"), "NIL");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"PXVIBER: unable to open database! error Code: 10"}));
}

TEST_F(ConversationLookup, UnreadableDatabaseWritesOneLine) {
  // The check runs as an unprivileged user in a child process: root reads
  // every file whatever its mode.
  std::filesystem::permissions(hostDatabase(), std::filesystem::perms::owner_write);
  std::filesystem::permissions(root_, std::filesystem::perms::all);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(3);
    settings().debugMode = true;
    std::string result = byToken("1");
    std::string out = result;
    for (const auto& l : log_.lines()) out += "\n" + l;
    (void)!::write(pipeFds[1], out.data(), out.size());
    _exit(0);
  }
  ::close(pipeFds[1]);
  std::string got;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) got.append(buffer, n);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(got, "NIL\nPXVIBER: DB path: " + databasePath_ + "\nPXVIBER: DB file is not readable!");
}

}  // namespace
}  // namespace tweak
