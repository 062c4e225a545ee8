// The send request: what it queues, posts and wakes, and the photo it stores.
#include "tweak/extension/send_request_fixture.h"

namespace tweak {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
namespace graphics = platform::graphics;
namespace springboard = platform::springboard;
using foundation::Dictionary;
using foundation::Value;

class SendRequest : public testing::SendRequestTest {};

TEST_F(SendRequest, TextIsQueuedInItsTwoKeysKeepsOlderPictureKeysPostsOnceThenWakes) {
  writeFile({{"messagePictureFile", Value("1.jpg")},
             {"messagePictureFileWithPath", Value("/x/1.jpg")},
             {"debugMode", Value(false)}});
  std::vector<std::size_t> postsAtResume;
  viber_->whenResumed = [&] { postsAtResume.push_back(center_->posts().size()); };
  send(std::make_shared<foundation::NSMutableString>("Hi 👋 there"));
  EXPECT_EQ(
      requestKeys(),
      "conversationID=5,debugMode=0,messagePictureFile=1.jpg,messagePictureFileWithPath=/x/1.jpg,"
      "messageText=Hi 👋 there");
  EXPECT_EQ(queue(), "5|Hi 👋 there|");
  EXPECT_EQ(center_->posts(), std::vector<std::string>{"org.northquay.parlexviber.sendMessage"});
  // Viber, suspended, is resumed once, after the post: it is to find the
  // notification waiting.
  EXPECT_EQ(postsAtResume, std::vector<std::size_t>{1});
  EXPECT_EQ(log_.lines(), std::vector<std::string>{
                              "PXVIBER:  message class is NSMutableString, message is Hi 👋 there"});
}

TEST_F(SendRequest, EveryReplyJoinsTheQueueInOrderWithTheSendersNameWhenKnown) {
  createNicknameTableIfNeeded()["7"] = "Alice Smith";
  send(std::make_shared<foundation::NSString>("one"), "7");
  send(std::make_shared<foundation::NSString>("two"), "8");
  EXPECT_EQ(queue(), "7|one|;8|two|");
  auto pending = readQueue(*foundation::readDictionaryFile(preferencesPath())).pending;
  EXPECT_EQ(pending[0].conversationName, "Alice Smith");
  EXPECT_FALSE(pending[1].conversationName);
  EXPECT_LT(pending[0].requestID, pending[1].requestID);
  EXPECT_EQ(center_->postCount(kSendMessageNotification), 2);
  // The file names the newest request, whose reply the four keys hold.
  EXPECT_EQ(
      *foundation::find(*foundation::readDictionaryFile(preferencesPath()), key::newestRequestID),
      Value(pending[1].requestID));
}

// No property list can hold them: the reply is refused and its user told,
// rather than sent as something other than what was typed.
TEST_F(SendRequest, AReplyHoldingControlCharactersIsRefusedAndTheUserTold) {
  settings().showAlerts = true;
  send(std::make_shared<foundation::NSString>("bell \x07 tab\tis fine"), "7");
  EXPECT_EQ(file(), "NONE");
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(viber_->stateReadings, 0);
  ASSERT_EQ(alerts_.shown().size(), 1u);
  EXPECT_EQ(alerts_.shown()[0].message.value_or("").rfind(
                "Unable to send a reply holding control characters. Message not sent.\n", 0),
            0u);
  send(std::make_shared<foundation::NSString>("tab\tnew line\ncarriage return\r"), "7");
  EXPECT_EQ(queue(), "7|tab\tnew line\ncarriage return\r|");
}

TEST_F(SendRequest, WithoutAUserNothingIsWrittenPostedOrWoken) {
  send(std::make_shared<foundation::NSString>("hello"), std::nullopt);
  EXPECT_EQ(file(), "NONE");
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(viber_->stateReadings, 0);
  EXPECT_TRUE(log_.contains(
      "PXVIBER: did not get conversation ID in message send method, unable to proceed!"));
}

TEST_F(SendRequest, ContentThatIsNeitherTextNorAURLSendsAnEmptyText) {
  send(std::make_shared<foundation::NSGenericObject>("NSNumber"));
  EXPECT_EQ(requestKeys(), "conversationID=5,messageText=");
  send(nullptr);
  EXPECT_EQ(queue(), "5||;5||");
  EXPECT_TRUE(log_.contains("PXVIBER:  message class is (null), message is (null)"));
}

TEST_F(SendRequest, PhotoIsStoredTwiceBeforeTheNotificationAndNamedByTheTime) {
  platform::notify::setDarwinNotifyCenter(checking_);
  // The clock is read after the photo is made: making a 4000 x 3000 JPEG can take
  // seconds on a loaded machine under the sanitizers.
  auto url = foundation::NSURL::fileURLWithPath(photo(4000, 3000).string());
  std::int64_t before = std::time(nullptr);
  send(url, "42");
  std::int64_t after = std::time(nullptr);
  EXPECT_EQ(checking_->posts,
            std::vector<std::string>{"org.northquay.parlexviber.sendMessage with 2 files"});
  EXPECT_EQ(storedSize("Attachments"), "1280x960");
  EXPECT_EQ(storedSize("AttachmentsPreview"), "750x562");
  auto mailbox = *foundation::readDictionaryFile(preferencesPath());
  std::string name = *foundation::find(mailbox, "messagePictureFile")->asString();
  std::int64_t seconds = std::stoll(name.substr(0, name.size() - 6));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  EXPECT_EQ(name.substr(name.size() - 6), "00.jpg");
  EXPECT_EQ(*foundation::find(mailbox, "messagePictureFileWithPath")->asString(),
            "/private/var/mobile/Containers/Data/Application/C0FFEE/Documents/Attachments/" + name);
  EXPECT_EQ(*foundation::find(mailbox, "messageText")->asString(), "");
  EXPECT_EQ(queue(), "42||" + name);
  EXPECT_TRUE(fs::exists(container_ / "Documents/AttachmentsPreview" / name));
  EXPECT_TRUE(log_.contains("PXVIBER: content is: " + url->description()));
}

TEST_F(SendRequest, SmallPhotosAreNotEnlargedAndTurnedPhotosAreStoredUpright) {
  send(foundation::NSURL::fileURLWithPath(photo(1000, 600).string()));
  EXPECT_EQ(storedSize("Attachments"), "1000x600");
  EXPECT_EQ(storedSize("AttachmentsPreview"), "750x450");
  for (auto& e : fs::directory_iterator(container_ / "Documents/Attachments")) fs::remove(e.path());
  for (auto& e : fs::directory_iterator(container_ / "Documents/AttachmentsPreview"))
    fs::remove(e.path());
  // Stored 3264 × 2448 turned right: upright it is 2448 × 3264.
  writeDevice(320, 568, 2);
  send(foundation::NSURL::fileURLWithPath(
      photo(3264, 2448, graphics::UIImageOrientationRight).string()));
  EXPECT_EQ(storedSize("Attachments"), "960x1280");
  EXPECT_EQ(storedSize("AttachmentsPreview"), "640x853");
}

TEST_F(SendRequest, TheStoredFileIsNamedInTheLogOnlyWithDebugOn) {
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  EXPECT_TRUE(log_.linesStartingWith("PXVIBER: image to be sent stored in ").empty());
  settings().debugMode = true;
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  auto lines = log_.linesStartingWith(
      "PXVIBER: image to be sent stored in "
      "/private/var/mobile/Containers/Data/Application/C0FFEE/Documents/Attachments/");
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_FALSE(log_.linesStartingWith("PXVIBER: Viber application state is 2").empty());
}

TEST_F(SendRequest, TheMailboxIsReadForTheWriteOnlyAfterThePhotoWork) {
  // The data-container lookup of the photo work stands for anything that
  // writes the file meanwhile: a saved setting, an alert, the messenger.
  auto list = std::make_shared<testing::WritingApplicationList>(
      [this] { updateMailbox([](Dictionary& d) { d["alertTitle"] = Value("meanwhile"); }); });
  platform::runtime::registerClass(std::make_shared<springboard::ALApplicationListClass>(list));
  writeFile({{"debugMode", Value(false)}});
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  ASSERT_GT(list->writes, 0);
  auto mailbox = *foundation::readDictionaryFile(preferencesPath());
  const Value* title = foundation::find(mailbox, "alertTitle");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->description(), "meanwhile");
  EXPECT_EQ(readQueue(mailbox).pending.size(), 1u);
}

TEST_F(SendRequest, CanSendPhotosAnswersNo) {
  settings() = {true, 3, 10, true, true};
  EXPECT_FALSE(extension_->canSendPhotos());
}

}  // namespace
}  // namespace tweak
