// The messenger half of a reply with real processes: a request left in the
// mailbox and announced on the device's bus is sent by the messenger host
// through its own database manager; failures come back as springboard alerts.
#include <signal.h>

#include <algorithm>
#include <fstream>

#include "platform/foundation/property_list.h"
#include "platform/messenger/messenger_database.h"
#include "platform/viberdb/viber_database.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/outbox.h"

namespace tests {
namespace {

namespace fs = std::filesystem;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;

constexpr const char* kZoeNumber = "+4915100100003";
constexpr const char* kBobNumber = "+15550100002";

class MessengerRoad : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    createDevice();
    // The messenger reads its settings when it starts: debug lines and alerts on.
    writeSettings({{"debugMode", Value(true)}, {"showAlerts", Value(true)}});
    container_ = pxviber::findViber(root_)->dataContainer;
  }

  std::int64_t chatWith(const std::string& number) {
    auto db = platform::messenger::MessengerDatabase::open(container_);
    auto c = db->conversationForNumber(number);
    return c ? c->primaryKey() : 0;
  }

  // Leaves a request in the mailbox (with debug and alerts on) and announces it.
  void sendRequest(const Dictionary& request) {
    Dictionary d{{"debugMode", Value(true)}, {"showAlerts", Value(true)}};
    d.insert(request.begin(), request.end());
    writeSettings(d);
    announce();
  }
  void announce() {
    ASSERT_EQ(pxviber("notify post org.northquay.parlexviber.sendMessage --root " + root_.string()),
              0);
  }

  Array conversationMessages(std::int64_t conversation) {
    auto answer = ask("Viber", {{"command", Value("messages")},
                                {"conversation", Value(static_cast<long long>(conversation))}});
    const Value* list = platform::foundation::find(answer, "messages");
    return list && list->asArray() ? *list->asArray() : Array{};
  }
  static std::string field(const Value& message, const char* key) {
    const Value* v = platform::foundation::find(*message.asDictionary(), key);
    return v ? v->description() : "(absent)";
  }
  // Waits until the conversation holds `count` messages; answers the last one.
  Value waitForMessages(std::int64_t conversation, size_t count) {
    Array list;
    if (waitFor([&] { return (list = conversationMessages(conversation)).size() >= count; }))
      return list.back();
    ADD_FAILURE() << "no message arrived in conversation " << conversation;
    return Value(Dictionary{});
  }
  Array alerts() {
    Dictionary answer = ask("SpringBoard", {{"command", Value("alerts")}});
    const Value* list = platform::foundation::find(answer, "alerts");
    return list && list->asArray() ? *list->asArray() : Array{};
  }
  Array waitForAlerts(size_t count) {
    Array list;
    waitFor([&] { return (list = alerts()).size() >= count; });
    return list;
  }

  fs::path container_;
};

TEST_F(MessengerRoad, ATextRequestIsSentAsAnOutgoingMessageByteForByte) {
  start();
  launchViber();
  std::int64_t zoe = chatWith(kZoeNumber);
  size_t before = conversationMessages(zoe).size();
  const std::string text = "Bis gleich 👋🏽 — \"18:00\" ✓\nzweite Zeile";
  sendRequest({{"messageText", Value(text)}, {"conversationID", Value(std::to_string(zoe))}});
  Value sent = waitForMessages(zoe, before + 1);
  EXPECT_EQ(field(sent, "text"), text);
  EXPECT_EQ(field(sent, "outgoing"), "1");
  EXPECT_EQ(field(sent, "author"), "(absent)");
  EXPECT_EQ(field(sent, "type"), "text");
  // The command line shows it too, its text escaped only as JSON requires.
  std::string json;
  ASSERT_EQ(
      pxviber("messages --json --root " + root_.string() + " --conversation " + std::to_string(zoe),
              &json),
      0);
  EXPECT_NE(json.find("\"outgoing\":true,\"read\":true,\"state\":\"sent\",\"text\":\"Bis gleich "
                      "👋🏽 — \\\"18:00\\\" ✓\\nzweite Zeile\""),
            std::string::npos)
      << json;
  // The request is gone from the mailbox; the settings stay.
  auto file = platform::foundation::readDictionaryFile(
      root_ / "private/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist");
  ASSERT_TRUE(file);
  EXPECT_EQ(platform::foundation::find(*file, "conversationID"), nullptr);
  EXPECT_EQ(platform::foundation::find(*file, "messageText"), nullptr);
  EXPECT_NE(platform::foundation::find(*file, "debugMode"), nullptr);
  // Through the tweak's replacements: the send line is traced.
  bool traced = false;
  for (auto& line : messages("-[<DBManager: 0x")) {
    traced |=
        line.find("> sendMessageOfType:text withText:Bis gleich 👋🏽") != std::string::npos;
  }
  EXPECT_TRUE(traced);
}

TEST_F(MessengerRoad, APhotoRequestLeavesTheAttachmentUploaded) {
  start();
  launchViber();
  std::int64_t bob = chatWith(kBobNumber);
  size_t before = conversationMessages(bob).size();
  fs::path picture = container_ / "Documents/Attachments/1765000000000.jpg";
  std::ofstream(picture) << "\xff\xd8\xff\xd9";
  sendRequest({{"messageText", Value("")},
               {"conversationID", Value(std::to_string(bob))},
               {"messagePictureFile", Value("1765000000000.jpg")},
               {"messagePictureFileWithPath", Value(picture.string())}});
  Value sent = waitForMessages(bob, before + 1);
  EXPECT_EQ(field(sent, "type"), "picture");
  EXPECT_EQ(field(sent, "attachment"), "1765000000000.jpg");
  EXPECT_EQ(field(sent, "text"), "");
  // The upload follows on the messenger's run loop, through the completion.
  EXPECT_TRUE(waitFor([&] { return field(conversationMessages(bob).back(), "uploaded") == "1"; }));
  EXPECT_EQ(conversationMessages(bob).size(), before + 1);  // no text message besides it
  EXPECT_TRUE(waitForMessageFrom("Viber", "PXVIBER: sendPictureM completion block"));
  EXPECT_TRUE(fs::exists(picture));
}

TEST_F(MessengerRoad, AConversationDeletedAfterTheNotificationRaisesTheMatchAlert) {
  start();
  launchViber();
  std::int64_t bob = chatWith(kBobNumber);
  // The springboard identified the conversation; then it is deleted in Viber.
  platform::viberdb::ViberDatabase::open(container_ / "Documents/Contacts.data")
      .execute("DELETE FROM ZCONVERSATION WHERE Z_PK = " + std::to_string(bob));
  sendRequest({{"messageText", Value("too late")}, {"conversationID", Value(std::to_string(bob))}});
  Array shown = waitForAlerts(1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(field(shown[0], "title"), "PXVIBER Error");
  std::string named = "Reply to conversation " + std::to_string(bob) + ": \"too late\"";
  EXPECT_EQ(field(shown[0], "message"),
            "Unable to match conversation. Message not sent.\n" + named);
  // The file keeps the failure's own text in its key; the reply's line has its own.
  Value file(pxviber::readSettingsFile(root_));
  EXPECT_EQ(field(file, "alertMessage"), "Unable to match conversation. Message not sent.");
  EXPECT_EQ(field(file, "alertReplies"), named);
  EXPECT_EQ(field(shown[0], "buttons"), Value(Array{Value("OK")}).description());
  EXPECT_TRUE(
      waitForMessageFrom("Viber", "PXVIBER: unable to find conversation! Message not sent."));
  std::string text;
  ASSERT_EQ(pxviber("alerts --root " + root_.string(), &text), 0);
  EXPECT_EQ(text, "PXVIBER Error / Unable to match conversation. Message not sent.\n" + named +
                      " [OK]\n");
}

TEST_F(MessengerRoad, AMessengerLaunchedLaterSendsTheRequestWaitingForIt) {
  start();
  std::int64_t zoe = chatWith(kZoeNumber);
  Dictionary request{{"debugMode", Value(true)},
                     {"messageText", Value("written while Viber was not running")},
                     {"conversationID", Value(std::to_string(zoe))}};
  writeSettings(request);
  // Nobody consumed it: the messenger is not running.
  std::string listing;
  ASSERT_EQ(pxviber("messages --root " + root_.string() + " --conversation " + std::to_string(zoe),
                    &listing),
            0);
  EXPECT_EQ(listing.find("written while"), std::string::npos);
  // One line per message after the conversation's own line.
  size_t before = std::count(listing.begin(), listing.end(), '\n') - 1;
  launchViber();
  announce();  // the springboard's repeated post after launching
  Value sent = waitForMessages(zoe, before + 1);
  EXPECT_EQ(field(sent, "text"), "written while Viber was not running");
}

TEST_F(MessengerRoad, ARefreshedManagerIsCapturedAndUsedForTheNextSend) {
  start();
  launchViber();
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: preferences reloaded"));
  std::string out;
  ASSERT_EQ(pxviber("refresh --lightweight --root " + root_.string(), &out), 0) << out;
  ASSERT_EQ(out.rfind("the messenger's manager is now <DBManager: 0x", 0), 0u) << out;
  std::string manager = out.substr(out.find("<DBManager: ") + 12);
  manager = manager.substr(0, manager.find('>'));
  EXPECT_TRUE(waitForMessageFrom("Viber", "PXVIBER: DBM light init"));
  std::int64_t zoe = chatWith(kZoeNumber);
  size_t before = conversationMessages(zoe).size();
  sendRequest(
      {{"messageText", Value("after refresh")}, {"conversationID", Value(std::to_string(zoe))}});
  waitForMessages(zoe, before + 1);
  // The send went through the new manager.
  EXPECT_TRUE(waitForMessageFrom("Viber", "-[<DBManager: " + manager + "> sendMessageOfType:text"));
}

TEST_F(MessengerRoad, MessagesAreReadFromTheDatabaseWhenTheMessengerIsStopped) {
  start();
  int viber = launchViber();
  std::int64_t zoe = chatWith(kZoeNumber);
  ASSERT_EQ(::kill(viber, SIGSTOP), 0);
  std::string listing;
  EXPECT_EQ(pxviber("messages --root " + root_.string() + " --conversation " + std::to_string(zoe),
                    &listing),
            0);
  EXPECT_NE(listing.find("Привет 👋 こんにちは"), std::string::npos) << listing;
  ::kill(viber, SIGCONT);
}

// Whoever answers (the running messenger, or its database file when it is not
// running), a conversation that does not exist is named as such: exit code 1.
TEST_F(MessengerRoad, MessagesOfAConversationThatDoesNotExistSayItAndFail) {
  std::string command = "messages --root " + root_.string() + " --conversation 999";
  std::string out;
  EXPECT_EQ(pxviber(command, &out), 1);
  EXPECT_EQ(out, "pxviber: no conversation 999 in Viber's database\n");
  start();
  launchViber();
  EXPECT_EQ(pxviber(command, &out), 1);
  EXPECT_EQ(out, "pxviber: Viber: no conversation 999 in Viber's database\n");
}

}  // namespace
}  // namespace tests
