#include "platform/foundation/keyed_archive.h"
#include "tweak/extension/extension_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;
using platform::springboard::BBBulletin;
using platform::springboard::UILocalNotification;

class NotificationIdentification : public testing::ExtensionTest {
 protected:
  static BBBulletin bulletin(Dictionary context, std::optional<std::string> message) {
    BBBulletin b;
    b.sectionID = "com.viber";
    b.context = std::move(context);
    b.message = std::move(message);
    return b;
  }
  static BBBulletin remote(Dictionary payload, std::optional<std::string> message) {
    return bulletin({{"notificationType", Value("AppNotificationRemote")},
                     {"remoteNotification", Value(std::move(payload))}},
                    std::move(message));
  }
  static BBBulletin local(Dictionary payload, std::optional<std::string> message) {
    UILocalNotification n;
    n.alertBody = message;
    n.userInfo = Value(std::move(payload));
    return bulletin({{"notificationType", Value("AppNotificationLocal")},
                     {"localNotification", Value(n.archive())}},
                    std::move(message));
  }
  static BBBulletin userInfo(Dictionary payload, std::optional<std::string> message) {
    return bulletin({{"userInfo", Value(std::move(payload))}}, std::move(message));
  }
  std::string identify(const BBBulletin& b) { return text(extension_->getUserIdentifier(b)); }
  std::string nickname(std::int64_t conversation) {
    return text(extension_->getNickname(key(conversation)));
  }
  // The "SQL string" lines' statements, to see which lookups ran.
  std::vector<std::string> statements() const {
    std::vector<std::string> out;
    for (const auto& l : log_.linesStartingWith("PXVIBER: SQL string: "))
      out.push_back(l.substr(21, 60));
    return out;
  }
  Value token(std::int64_t t) const { return Value(static_cast<long long>(t)); }
};

TEST_F(NotificationIdentification, EachPayloadFormFindsTheConversation) {
  Dictionary payload{{"mt", token(sample_.aliceLatestToken)}};
  EXPECT_EQ(identify(remote(payload, "Alice Smith: Where are you?")), key(sample_.aliceChat));
  EXPECT_EQ(identify(local({{"messageToken", token(sample_.zoeLatestToken)}}, "Zoë Ångström: hi")),
            key(sample_.zoeChat));
  EXPECT_EQ(identify(userInfo({{"fn", Value(sample_.bob.number)}}, "Bob: Lunch today?")),
            key(sample_.bobChat));
  EXPECT_EQ(nickname(sample_.aliceChat), "Alice Smith");
  EXPECT_EQ(nickname(sample_.zoeChat), "Zoë Ångström");
  EXPECT_EQ(nickname(sample_.bobChat), "Bob");
}

TEST_F(NotificationIdentification, NumericTokenIsLookedUpByItsDecimalText) {
  setDebug(true);
  EXPECT_EQ(identify(remote({{"mt", token(sample_.bobLatestToken)}}, "Bob: x")),
            key(sample_.bobChat));
  EXPECT_TRUE(log_.contains("PXVIBER: returning conversation ID " + key(sample_.bobChat) +
                            " for token: " + std::to_string(sample_.bobLatestToken)));
}

TEST_F(NotificationIdentification, MessageTokenComesBeforeMt) {
  Dictionary both{{"messageToken", Value(std::to_string(sample_.zoeLatestToken))},
                  {"mt", token(sample_.aliceLatestToken)}};
  EXPECT_EQ(identify(remote(both, "Zoë: hi")), key(sample_.zoeChat));
  // A messageToken that finds nothing does not fall back to mt, but to the number.
  Dictionary missing{{"messageToken", Value("1")},
                     {"mt", token(sample_.aliceLatestToken)},
                     {"fn", Value(sample_.bob.number)}};
  EXPECT_EQ(identify(remote(missing, "Bob: hi")), key(sample_.bobChat));
}

TEST_F(NotificationIdentification, FoundTokenLeavesNumberAndGroupUnasked) {
  setDebug(true);
  Dictionary payload{{"mt", token(sample_.weekendLatestToken)},
                     {"fn", Value(sample_.bob.number)},
                     {"gi", Value(sample_.bookClubGroupId)}};
  EXPECT_EQ(identify(remote(payload, "Okafor: Leaving at 8")), key(sample_.weekendGroup));
  EXPECT_EQ(
      statements(),
      (std::vector<std::string>{"SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = '6200"}));
}

TEST_F(NotificationIdentification, GroupNumbersAsNumbersFindTheGroup) {
  Dictionary payload{{"fn", Value(sample_.dave.number)},
                     {"gi", Value(static_cast<long long>(5712345678901234567LL))}};
  EXPECT_EQ(identify(remote(payload, "+15550100004: Count me in")), key(sample_.weekendGroup));
  EXPECT_EQ(nickname(sample_.weekendGroup), "+15550100004");
}

TEST_F(NotificationIdentification, NicknameRules) {
  Dictionary alice{{"mt", token(sample_.aliceLatestToken)}};
  // No colon: nothing stored.
  EXPECT_EQ(identify(remote(alice, "You have a new message")), key(sample_.aliceChat));
  EXPECT_EQ(nickname(sample_.aliceChat), "NIL");
  // Several colons: the text before the first.
  identify(remote(alice, "Alice: see you at 10:30: ok?"));
  EXPECT_EQ(nickname(sample_.aliceChat), "Alice");
  // The later bulletin of a conversation wins; an empty name is a name.
  identify(remote(alice, "Alice Smith: again"));
  EXPECT_EQ(nickname(sample_.aliceChat), "Alice Smith");
  identify(remote(alice, ": anonymous"));
  EXPECT_EQ(nickname(sample_.aliceChat), "");
  // No message, or no conversation: nothing stored.
  identify(remote({{"mt", token(sample_.bobLatestToken)}}, std::nullopt));
  EXPECT_EQ(nickname(sample_.bobChat), "NIL");
  EXPECT_EQ(identify(remote({{"mt", Value(1)}}, "Ghost: boo")), "NIL");
  EXPECT_EQ(nicknameTable()->size(), 1u);
}

TEST_F(NotificationIdentification, TableExistsAfterTheFirstCallEvenWhenNothingIsFound) {
  EXPECT_EQ(nicknameTable(), nullptr);
  EXPECT_EQ(identify(bulletin({}, std::nullopt)), "NIL");
  ASSERT_NE(nicknameTable(), nullptr);
  EXPECT_TRUE(nicknameTable()->empty());
}

TEST_F(NotificationIdentification, ContextWithoutTypeUsesUserInfo) {
  Dictionary payload{{"mt", token(sample_.bobLatestToken)}};
  // An unknown type counts as no type.
  EXPECT_EQ(identify(bulletin({{"notificationType", Value("Other")}, {"userInfo", Value(payload)}},
                              "Bob: x")),
            key(sample_.bobChat));
  // A remote type reads remoteNotification only.
  EXPECT_EQ(identify(bulletin({{"notificationType", Value("AppNotificationRemote")},
                               {"userInfo", Value(payload)}},
                              "Bob: x")),
            "NIL");
}

TEST_F(NotificationIdentification, EmptyPayloadRunsBothLookupsWithNil) {
  setDebug(true);
  EXPECT_EQ(identify(userInfo({}, "Someone: hi")), "NIL");
  EXPECT_EQ(statements(), (std::vector<std::string>{
                              "SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = NULL;",
                              "select z_4conversations from z_4phonenumindexes, zphonenumbe"}));
  EXPECT_TRUE(log_.contains("PXVIBER: returning conversation ID (null) for token: (null)"));
  auto number = log_.linesStartingWith("PXVIBER: SQL string: select");
  ASSERT_EQ(number.size(), 1u);
  EXPECT_NE(number[0].find("zphonenum=NULL"), std::string::npos);
  EXPECT_NE(number[0].find("zgroupid is null"), std::string::npos);
}

TEST_F(NotificationIdentification, LocalNotificationThatIsNotOneGivesNoPayload) {
  Dictionary payload{{"mt", token(sample_.aliceLatestToken)}};
  // Garbage, a plain dictionary archive, an object of another class, no entry.
  std::vector<Value> entries{
      Value(platform::foundation::Data{1, 2, 3}),
      Value(platform::foundation::archivedDataWithRootObject(Value(payload))),
      Value(platform::foundation::archivedDataWithRootObject(
          platform::foundation::ArchivedObject{"NSTimer", {}, {{"userInfo", Value(payload)}}})),
      Value("not data")};
  for (const auto& entry : entries) {
    EXPECT_EQ(identify(bulletin({{"notificationType", Value("AppNotificationLocal")},
                                 {"localNotification", entry}},
                                "Alice: x")),
              "NIL");
  }
  EXPECT_EQ(identify(bulletin({{"notificationType", Value("AppNotificationLocal")}}, "Alice: x")),
            "NIL");
}

TEST_F(NotificationIdentification, PayloadThatIsNoDictionaryHasNoKeys) {
  EXPECT_EQ(identify(bulletin({{"userInfo", Value("mt")}}, "A: b")), "NIL");
  EXPECT_EQ(
      identify(bulletin({{"userInfo", Value(platform::foundation::Array{Value(1)})}}, "A: b")),
      "NIL");
}

TEST_F(NotificationIdentification, DebugLineDescribesTheBulletin) {
  setDebug(true);
  BBBulletin b = remote({{"mt", token(sample_.aliceLatestToken)}}, "Alice Smith: hi");
  b.recordID = Value("record-1");
  identify(b);
  auto lines = log_.linesStartingWith("PXVIBER: getUserIdentifier bbulletin: ");
  ASSERT_EQ(lines.size(), 1u);
  const std::string& l = lines[0];
  EXPECT_NE(
      l.find(b.description() +
             ", \r\n\r\nuserinfo: {\n    mt = " + std::to_string(sample_.aliceLatestToken) +
             ";\n}, \r\n\r\nDefault action: (null), "
             "\r\n\r\nACK action: (null), \r\n\r\nAlt action: (null), \r\n\r\nPublishre bb ID: "
             "(null), \r\n\r\nRecord ID: record-1\r\n\r\ncontext: "),
      std::string::npos)
      << l;
  EXPECT_TRUE(l.ends_with("\r\n\r\nactions: (null)\r\n\r\nsupplementary actions: (null)"));
}

TEST_F(NotificationIdentification, WithoutDebugOnlyTheLookupFailuresAreLogged) {
  identify(remote({{"mt", token(sample_.aliceLatestToken)}}, "Alice: hi"));
  EXPECT_TRUE(log_.lines().empty());
  std::filesystem::remove(hostDatabase());
  identify(remote({{"mt", token(sample_.aliceLatestToken)}}, "Alice: hi"));
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{"PXVIBER: Failed to find user's DB!",
                                                    "PXVIBER: Failed to find user's DB!"}));
}

}  // namespace
}  // namespace tweak
