// A reply marks its conversation read, with real processes: a reply typed into
// the springboard's panel, once the messenger has delivered it, leaves its
// conversation with nothing unread, through the messenger's own
// markAsReadMessagesForConversation: (whose call the tweak traces); other
// conversations, failed replies and the setting turned off leave the unread
// marks as they were.
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "platform/messenger/messenger_database.h"
#include "platform/springboard/bulletin.h"
#include "platform/viberdb/viber_database.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/outbox.h"

namespace tests {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

class ReadMarkingRoad : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    sample_ = *pxviber::createDevice(root_, {.iosVersion = 9}).sample;
  }

  // Starts the device and the messenger with `settings` in the file.
  void startWith(const Dictionary& settings) {
    writeSettings(settings);
    start();
    launchViber();
  }

  fs::path databaseFile() {
    return pxviber::findViber(root_)->dataContainer / "Documents/Contacts.data";
  }

  // Every incoming message of `conversation` unread, and counted so, as
  // though none had been seen yet.
  void makeUnread(std::int64_t conversation) {
    std::string c = std::to_string(conversation);
    platform::viberdb::ViberDatabase::open(databaseFile())
        .execute("UPDATE ZVIBERMESSAGE SET ZREAD = 0 WHERE ZCONVERSATION = " + c +
                 " AND ZPHONENUMINDEX IS NOT NULL; UPDATE ZCONVERSATION SET ZUNREADCOUNT = "
                 "(SELECT COUNT(*) FROM ZVIBERMESSAGE WHERE ZREAD = 0 AND ZCONVERSATION = " +
                 c + ") WHERE Z_PK = " + c);
  }

  // "<unread count>/<messages not read>" of the conversation, from its file.
  std::string unread(std::int64_t conversation) {
    auto listing = platform::messenger::readConversationReadOnly(databaseFile(), conversation);
    int notRead = 0;
    for (auto& m : listing.messages) notRead += !*foundation::find(m, "read")->asBoolean();
    return std::to_string(listing.unreadCount) + "/" + std::to_string(notRead);
  }

  // The messenger's trace lines of a conversation marked read.
  std::vector<std::string> marks() const {
    std::vector<std::string> out;
    for (auto& line : messages("-[<DBManager: 0x")) {
      if (line.find("> markAsReadMessagesForConversation:") != std::string::npos) {
        out.push_back(line);
      }
    }
    return out;
  }

  // Shows a notification from `number`; answers the panel's conversation.
  std::string pushFrom(const std::string& number) {
    platform::springboard::BBBulletin b;
    b.sectionID = "com.viber";
    b.message = "Someone: are you there?";
    b.context = {{"userInfo", Value(Dictionary{{"fn", Value(number)}})}};
    return showBulletin(b);
  }

  // Replies in the open panel and waits for the reply's outcome; once the
  // messenger answers the ping after it, the pass (or the picture's
  // completion) that recorded it has ended.
  tweak::Outcome reply(const Dictionary& what) {
    Dictionary request = what;
    request["command"] = Value("reply");
    Array keys;
    for (auto& k : pxviber::replySnapshotKeys()) keys.push_back(Value(k));
    request["snapshot"] = Value(Dictionary{
        {"file", Value("/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist")},
        {"keys", Value(keys)}});
    Dictionary answer = ask("SpringBoard", request);
    const Value* snapshot = foundation::find(answer, "snapshot");
    auto id = snapshot && snapshot->asDictionary()
                  ? pxviber::newestRequest(*snapshot->asDictionary())
                  : std::nullopt;
    if (!id) {
      ADD_FAILURE() << "the reply made no request";
      return {};
    }
    auto outcome = pxviber::waitForOutcome(root_, *id, double(kPatience.count()));
    if (!outcome) {
      ADD_FAILURE() << "no outcome for " << *id;
      return {};
    }
    ping("Viber");
    return *outcome;
  }

  // A camera photo in the test's folder.
  fs::path photo() {
    auto image = platform::graphics::UIImage::imageWithCGImage(
        platform::graphics::testing::makeImage(64, 48, platform::graphics::testing::distinct), 1,
        platform::graphics::UIImageOrientationUp);
    fs::path file = tmp_ / "photo.jpg";
    EXPECT_TRUE(foundation::writeFileAtomically(
        file, *platform::graphics::UIImageJPEGRepresentation(image, 0.8)));
    return file;
  }

  platform::viberdb::SampleContent sample_;
};

TEST_F(ReadMarkingRoad, EachDeliveredTextReplyMarksItsConversationReadAndNoOther) {
  makeUnread(sample_.aliceChat);
  makeUnread(sample_.bobChat);
  std::string bobBefore = unread(sample_.bobChat);
  ASSERT_NE(bobBefore, "0/0");
  startWith({{"debugMode", Value(true)}});
  ASSERT_EQ(pushFrom(sample_.alice.number), std::to_string(sample_.aliceChat));
  ASSERT_NE(unread(sample_.aliceChat), "0/0");
  EXPECT_TRUE(reply({{"text", Value("first")}}).delivered);
  EXPECT_EQ(unread(sample_.aliceChat), "0/0");
  ASSERT_EQ(marks().size(), 1u);
  EXPECT_EQ(marks()[0].rfind("Viber: -[<DBManager: 0x", 0), 0u) << marks()[0];
  EXPECT_TRUE(waitForMessageFrom(
      "Viber", "PXVIBER: conversation " + std::to_string(sample_.aliceChat) + " marked read"));
  // A second reply is marked again, once.
  EXPECT_TRUE(reply({{"text", Value("second")}}).delivered);
  EXPECT_EQ(marks().size(), 2u);
  EXPECT_EQ(unread(sample_.bobChat), bobBefore);
  // The command line shows both: nothing unread in the one, the other's marks.
  std::string json;
  ASSERT_EQ(pxviber("messages --json --root " + root_.string() + " --conversation " +
                        std::to_string(sample_.aliceChat),
                    &json),
            0);
  EXPECT_NE(json.find("\"unreadCount\":0"), std::string::npos) << json;
  EXPECT_EQ(json.find("\"read\":false"), std::string::npos) << json;
  std::string listing;
  ASSERT_EQ(pxviber("messages --root " + root_.string() + " --conversation " +
                        std::to_string(sample_.bobChat),
                    &listing),
            0);
  EXPECT_EQ(listing.rfind("conversation " + std::to_string(sample_.bobChat) +
                              ": 4 messages, 3 "
                              "unread\n",
                          0),
            0u)
      << listing;
  EXPECT_NE(listing.find("Lunch today?  (key "), std::string::npos) << listing;
  EXPECT_NE(listing.find(")  unread\n"), std::string::npos) << listing;
}

TEST_F(ReadMarkingRoad, APhotoReplyMarksItsConversationReadOnceItIsUploaded) {
  makeUnread(sample_.aliceChat);
  startWith({{"debugMode", Value(true)}});
  ASSERT_EQ(pushFrom(sample_.alice.number), std::to_string(sample_.aliceChat));
  tweak::Outcome outcome = reply({{"photo", Value(photo().string())}});
  EXPECT_TRUE(outcome.delivered) << outcome.reason.value_or("");
  EXPECT_EQ(unread(sample_.aliceChat), "0/0");
  EXPECT_EQ(marks().size(), 1u);
  // Marked from the picture's completion, after the upload.
  auto log = messages();
  auto at = [&](const std::string& part) {
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i].find(part) != std::string::npos) return i;
    }
    return log.size();
  };
  EXPECT_LT(at("DBManager: uploaded attachment"), at("markAsReadMessagesForConversation:"));
}

TEST_F(ReadMarkingRoad, WithTheSettingOffARepliedConversationKeepsItsUnreadMessages) {
  makeUnread(sample_.aliceChat);
  std::string before = unread(sample_.aliceChat);
  startWith({{"debugMode", Value(true)}, {"markReadOnReply", Value(false)}});
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: preferences reloaded"));
  ASSERT_EQ(pushFrom(sample_.alice.number), std::to_string(sample_.aliceChat));
  EXPECT_TRUE(reply({{"text", Value("kept unread")}}).delivered);
  EXPECT_EQ(unread(sample_.aliceChat), before);
  EXPECT_TRUE(marks().empty());
}

TEST_F(ReadMarkingRoad, AReplyThatFailsLeavesItsConversationUnread) {
  makeUnread(sample_.bobChat);
  startWith({{"debugMode", Value(true)}});
  ASSERT_EQ(pushFrom(sample_.bob.number), std::to_string(sample_.bobChat));
  // Deleted in the messenger after the notification: the reply cannot go out.
  platform::viberdb::ViberDatabase::open(databaseFile())
      .execute("DELETE FROM ZCONVERSATION WHERE Z_PK = " + std::to_string(sample_.bobChat));
  tweak::Outcome outcome = reply({{"text", Value("too late")}});
  EXPECT_FALSE(outcome.delivered);
  EXPECT_EQ(outcome.reason.value_or(""), "Unable to match conversation. Message not sent.");
  EXPECT_TRUE(marks().empty());
  // Its messages are still there, unread.
  auto db = platform::viberdb::ViberDatabase::open(databaseFile());
  int notRead = 0;
  for (auto& m : db.messages(sample_.bobChat)) notRead += !m.read;
  EXPECT_EQ(notRead, 3);
}

}  // namespace
}  // namespace tests
