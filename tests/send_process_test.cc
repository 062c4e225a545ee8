// A reply typed into the springboard's panel, through the mailbox and the bus, to
// a messenger in each of its states.
#include <signal.h>

#include "platform/foundation/property_list.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "platform/messenger/messenger_database.h"
#include "platform/springboard/bulletin.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"

namespace tests {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

constexpr const char* kAlice = "+15550100001";

class SendRoad : public DeviceTest {
 protected:
  // The iOS version of the device: it decides where Viber's folders are.
  virtual int ios() const { return 9; }

  void SetUp() override {
    DeviceTest::SetUp();
    createDevice(ios());
    writeSettings({{"debugMode", Value(true)}});
    start();
  }

  Dictionary askSpringboard(const Dictionary& request) {
    auto answer = ask("SpringBoard", request);
    if (const Value* error = foundation::find(answer, "error"))
      ADD_FAILURE() << error->description();
    return answer;
  }

  // Shows a notification from Alice; answers the conversation of the panel. The
  // lookup sets no busy timeout (by design), so while the messenger happens to be
  // writing it can find nothing: the notification is then shown again, as a
  // second bulletin of the same chat would be.
  std::string pushFromAlice() {
    platform::springboard::BBBulletin b;
    b.sectionID = "com.viber";
    b.message = "Alice Smith: are you there?";
    b.context = {{"userInfo", Value(Dictionary{{"fn", Value(kAlice)}})}};
    std::string conversation;
    waitFor([&] {
      auto panel =
          askSpringboard({{"command", Value("bulletin")}, {"bulletin", Value(b.toDictionary())}});
      const Value* user = foundation::find(panel, "user");
      if (user && user->asString()) conversation = *user->asString();
      return !conversation.empty();
    });
    return conversation;
  }

  // Replies in the open panel; the answer's "snapshot" holds the request keys
  // as they stood when the send notification went out.
  Dictionary reply(const Dictionary& what) {
    Dictionary request = what;
    request["command"] = Value("reply");
    request["snapshot"] = Value(Dictionary{
        {"file", Value("/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist")},
        {"keys", Value(Array{Value("messageText"), Value("messagePictureFile")})}});
    return askSpringboard(request);
  }

  std::string wake(const Dictionary& answer) {
    std::string out;
    if (const Value* w = foundation::find(answer, "wake"); w && w->asArray()) {
      for (auto& a : *w->asArray()) out += (out.empty() ? "" : ", ") + a.description();
    }
    return out;
  }

  void app(const std::string& action) {
    askSpringboard(
        {{"command", Value("app")}, {"action", Value(action)}, {"identifier", Value("com.viber")}});
  }

  fs::path dataContainer() { return pxviber::findViber(root_)->dataContainer; }

  // The outgoing texts of a conversation, read from the database file.
  std::vector<std::string> sentTexts(const std::string& conversation) {
    std::vector<std::string> out;
    for (auto& m : platform::messenger::readMessagesReadOnly(
             dataContainer() / "Documents/Contacts.data", std::stoll(conversation))) {
      const Value* outgoing = foundation::find(m, "outgoing");
      const Value* text = foundation::find(m, "text");
      if (outgoing && *outgoing->asBoolean())
        out.push_back(text && text->asString() ? *text->asString() : "");
    }
    return out;
  }

  int sendCallbacks() { return int(messages("PXVIBER: sendMessage callback in Viber").size()); }

  // A 12 MP photo that the camera says to turn right, replied to Alice: both
  // files stored upright and fitted, and the picture uploaded.
  void photoReplyIsStoredUprightAndSentAsAnUploadedPicture();
};

TEST_F(SendRoad, AForegroundMessengerGetsOneNotificationAndNoResume) {
  launchViber();
  app("activate");
  std::string conversation = pushFromAlice();
  ASSERT_FALSE(conversation.empty());
  size_t before = sentTexts(conversation).size();
  auto answer = reply({{"text", Value("On my way 🚲")}});
  EXPECT_EQ(wake(answer), "");
  // The mailbox as it stood when the notification went out: the foreground
  // messenger may clear it before the answer is made.
  const Value* mailbox = foundation::find(answer, "snapshot");
  ASSERT_TRUE(mailbox && mailbox->asDictionary());
  const Value* text = foundation::find(*mailbox->asDictionary(), "messageText");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, Value("On my way 🚲"));
  ASSERT_TRUE(waitFor([&] { return sentTexts(conversation).size() == before + 1; }));
  EXPECT_EQ(sentTexts(conversation).back(), "On my way 🚲");
  // The springboard posted before it answered, so the messenger has every post
  // by the time it answers a ping.
  ping("Viber");
  EXPECT_EQ(sendCallbacks(), 1);
}

TEST_F(SendRoad, AStoppedOrBackgroundMessengerIsResumedOnce) {
  int viber = launchViber();
  std::string conversation = pushFromAlice();
  ASSERT_FALSE(conversation.empty());
  size_t before = sentTexts(conversation).size();
  app("suspend");
  auto answer = reply({{"text", Value("first")}});
  EXPECT_EQ(wake(answer), "resume com.viber");
  ASSERT_TRUE(waitFor([&] { return sentTexts(conversation).size() == before + 1; }));
  app("background");
  answer = reply({{"text", Value("second")}});
  EXPECT_EQ(wake(answer), "resume com.viber");
  ASSERT_TRUE(waitFor([&] { return sentTexts(conversation).size() == before + 2; }));
  auto sent = sentTexts(conversation);
  EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
            (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(sendCallbacks(), 2);
  EXPECT_TRUE(messages("SpringBoard: PXVIBER: Viber application state after launching").empty());
  EXPECT_EQ(pxviber::runningPid(root_, "Viber"), viber);
}

TEST_F(SendRoad, AMessengerThatIsNotRunningIsLaunchedAndGetsTheRepeatedNotification) {
  std::string conversation = pushFromAlice();
  ASSERT_FALSE(conversation.empty());
  size_t before = sentTexts(conversation).size();
  auto start = std::chrono::steady_clock::now();
  auto answer = reply({{"text", Value("launched for this")}});
  EXPECT_EQ(wake(answer), "launch com.viber background");
  ASSERT_TRUE(
      waitForMessageFrom("SpringBoard", "PXVIBER: Viber application state after launching is "));
  // The repeated post comes two seconds after the launch.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_EQ(messages("PXVIBER: Viber application state after launching is "),
            std::vector<std::string>{
                "SpringBoard: PXVIBER: Viber application state after launching is 4, "
                "state name: running in background"});
  ASSERT_TRUE(waitFor([&] { return sentTexts(conversation).size() == before + 1; }));
  EXPECT_EQ(sentTexts(conversation).back(), "launched for this");
  // The messenger's pass at launch may send the reply before the repeated
  // post reaches its callback: the callback's line is waited for, not assumed.
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: sendMessage callback in Viber"));
  EXPECT_EQ(sendCallbacks(), 1);
  EXPECT_TRUE(pxviber::runningPid(root_, "Viber").has_value());
}

TEST_F(SendRoad, WithoutTheMessengerInstalledTheRequestStaysInTheFile) {
  std::string conversation = pushFromAlice();
  ASSERT_FALSE(conversation.empty());
  fs::remove(pxviber::findViber(root_)->bundle / "Info.plist");
  auto answer = reply({{"text", Value("nobody home")}});
  EXPECT_EQ(wake(answer), "");
  EXPECT_FALSE(messages("PXVIBER: Viber app is nil").empty());
  auto file = foundation::readDictionaryFile(
      root_ / "var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist");
  ASSERT_TRUE(file);
  EXPECT_EQ(*foundation::find(*file, "messageText")->asString(), "nobody home");
  EXPECT_EQ(*foundation::find(*file, "conversationID")->asString(), conversation);
}

void SendRoad::photoReplyIsStoredUprightAndSentAsAnUploadedPicture() {
  launchViber();
  app("activate");
  std::string conversation = pushFromAlice();
  ASSERT_FALSE(conversation.empty());
  // 4032 × 3024 stored pixels that the camera says to turn right.
  auto image = platform::graphics::UIImage::imageWithCGImage(
      platform::graphics::testing::makeImage(4032, 3024, platform::graphics::testing::distinct), 1,
      platform::graphics::UIImageOrientationRight);
  fs::path photo = tmp_ / "photo.jpg";
  foundation::writeFileAtomically(photo,
                                  *platform::graphics::UIImageJPEGRepresentation(image, 0.8));
  auto answer = reply({{"photo", Value(photo.string())}});
  const Value* mailbox = foundation::find(answer, "snapshot");
  ASSERT_TRUE(mailbox && mailbox->asDictionary());
  const Value* picture = foundation::find(*mailbox->asDictionary(), "messagePictureFile");
  ASSERT_TRUE(picture && picture->asString());
  std::string name = *picture->asString();
  auto size = [&](const char* folder) {
    auto bytes = foundation::readFile(dataContainer() / "Documents" / folder / name);
    if (!bytes) return std::string("missing");
    auto stored = platform::graphics::UIImage::initWithData(*bytes);
    return std::to_string(stored->CGImage()->width()) + "x" +
           std::to_string(stored->CGImage()->height());
  };
  EXPECT_EQ(size("Attachments"), "960x1280");
  EXPECT_EQ(size("AttachmentsPreview"), "750x1000");
  auto uploaded = [&] {
    for (auto& m : platform::messenger::readMessagesReadOnly(
             dataContainer() / "Documents/Contacts.data", std::stoll(conversation))) {
      const Value* a = foundation::find(m, "attachment");
      const Value* up = foundation::find(m, "uploaded");
      if (a && a->asString() && *a->asString() == name && up && *up->asBoolean()) return true;
    }
    return false;
  };
  EXPECT_TRUE(waitFor(uploaded));
}

TEST_F(SendRoad, APhotoReplyIsStoredUprightAndSentAsAnUploadedPicture) {
  photoReplyIsStoredUprightAndSentAsAnUploadedPicture();
}

// On iOS 7 the springboard reaches Viber's folders through its bundle
// (".../Viber.app/../Documents"); the request names the photo so.
class SendRoadOnIos7 : public SendRoad {
 protected:
  int ios() const override { return 7; }
};

TEST_F(SendRoadOnIos7, APhotoReplyIsStoredUprightAndSentAsAnUploadedPicture) {
  photoReplyIsStoredUprightAndSentAsAnUploadedPicture();
}

}  // namespace
}  // namespace tests
