#include <filesystem>
#include <fstream>

#include "platform/foundation/file_io.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "platform/springboard/app_list.h"
#include "platform/springboard/testing/fake_applications.h"
#include "tweak/core/application_location.h"
#include "tweak/extension/photo_attachment.h"
#include "tweak/extension/viber_couria_extension.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
namespace graphics = platform::graphics;
namespace springboard = platform::springboard;
using foundation::Dictionary;
using foundation::Value;

// Records, at each post, which attachment files exist: they must all be on disk
// before the send notification goes out.
class CheckingCenter final : public platform::notify::NotifyCenter {
 public:
  explicit CheckingCenter(fs::path folder) : folder_(std::move(folder)) {}
  void postNotification(std::string_view name) override {
    int files = 0;
    for (const char* sub : {"Attachments", "AttachmentsPreview"}) {
      std::error_code ec;
      for (auto& e : fs::directory_iterator(folder_ / sub, ec)) files += e.is_regular_file();
    }
    posts.push_back(std::string(name) + " with " + std::to_string(files) + " files");
  }
  ObserverId addObserver(const void*, platform::notify::NotificationCallback, std::string,
                         platform::notify::SuspensionBehavior) override {
    return 0;
  }
  void removeObserver(ObserverId) override {}
  std::vector<std::string> posts;

 private:
  fs::path folder_;
};

class SendRequest : public testing::TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    resetViberAppPathForTesting();
    // An iOS 9 device with Viber installed.
    container_ = root_ / "private/var/mobile/Containers/Data/Application/C0FFEE";
    fs::create_directories(container_ / "Documents/Attachments");
    fs::create_directories(container_ / "Documents/AttachmentsPreview");
    foundation::writeDictionaryFileAtomically(
        container_ / ".com.apple.mobile_container_manager.metadata.plist",
        {{"MCMMetadataIdentifier", Value("com.viber")}});
    fs::path bundle = root_ / "private/var/containers/Bundle/Application/B0B/Viber.app";
    fs::create_directories(bundle);
    foundation::writeDictionaryFileAtomically(
        bundle / "Info.plist",
        {{"CFBundleIdentifier", Value("com.viber")}, {"CFBundleExecutable", Value("Viber")}});
    writeDevice(375, 667, 2);

    platform::runtime::registerClass(std::make_shared<springboard::ALApplicationListClass>(
        springboard::makeDeviceApplicationList()));
    registry_ = std::make_shared<springboard::testing::FakeRegistry>();
    viber_ = std::make_shared<springboard::testing::FakeApplication>("com.viber");
    viber_->states = {springboard::SBApplicationStateSuspended};
    registry_->installed = viber_;
    platform::runtime::registerClass(
        std::make_shared<springboard::SBApplicationControllerClass>(registry_));
    checking_ = std::make_shared<CheckingCenter>(container_ / "Documents");
  }
  void TearDown() override {
    resetViberAppPathForTesting();
    TweakTest::TearDown();
  }

  void writeDevice(double width, double height, double scale) {
    foundation::DeviceSettings device;
    device.iosVersion = 9;
    device.screenWidth = width;
    device.screenHeight = height;
    device.screenScale = scale;
    foundation::writeDictionaryFileAtomically(root_ / "device.plist", device.toDictionary());
  }

  // A photo of width × height stored pixels with an EXIF orientation, written to a file.
  fs::path photo(int width, int height,
                 graphics::UIImageOrientation orientation = graphics::UIImageOrientationUp) {
    auto image = graphics::UIImage::imageWithCGImage(
        graphics::testing::makeImage(width, height, graphics::testing::distinct), 1, orientation);
    auto jpeg = graphics::UIImageJPEGRepresentation(image, 0.9);
    fs::path path = root_ / ("photo-" + std::to_string(++photos_) + ".jpg");
    foundation::writeFileAtomically(path, *jpeg);
    return path;
  }

  void send(foundation::Id content, std::optional<std::string> user = "5") {
    extension_->sendMessage(std::make_shared<platform::couria::ReplyMessage>(std::move(content)),
                            user);
  }

  // "WxH" of the one file in the folder, "none" when empty.
  std::string storedSize(const char* folder) {
    for (auto& e : fs::directory_iterator(container_ / "Documents" / folder)) {
      auto bytes = foundation::readFile(e.path());
      auto image = graphics::UIImage::initWithData(*bytes);
      if (!image) return "undecodable";
      return std::to_string(image->CGImage()->width()) + "x" +
             std::to_string(image->CGImage()->height());
    }
    return "none";
  }

  fs::path container_;
  int photos_ = 0;
  std::shared_ptr<springboard::testing::FakeRegistry> registry_;
  std::shared_ptr<springboard::testing::FakeApplication> viber_;
  std::shared_ptr<CheckingCenter> checking_;
  std::shared_ptr<ORVViberCouriaExtension> extension_ = ORVViberCouriaExtension::create();
};

TEST_F(SendRequest, TextWritesItsTwoKeysKeepsOlderPictureKeysPostsOnceThenWakes) {
  writeFile({{"messagePictureFile", Value("1.jpg")},
             {"messagePictureFileWithPath", Value("/x/1.jpg")},
             {"debugMode", Value(false)}});
  send(std::make_shared<foundation::NSMutableString>("Hi 👋 there"));
  EXPECT_EQ(
      file(),
      "conversationID=5,debugMode=0,messagePictureFile=1.jpg,messagePictureFileWithPath=/x/1.jpg,"
      "messageText=Hi 👋 there");
  EXPECT_EQ(center_->posts(), std::vector<std::string>{kSendMessageNotification});
  EXPECT_EQ(viber_->resumes, 1);
  EXPECT_EQ(log_.lines(), std::vector<std::string>{
                              "PXVIBER:  message class is NSMutableString, message is Hi 👋 there"});
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
  EXPECT_EQ(file(), "conversationID=5,messageText=");
  send(nullptr);
  EXPECT_EQ(file(), "conversationID=5,messageText=");
  EXPECT_TRUE(log_.contains("PXVIBER:  message class is (null), message is (null)"));
}

TEST_F(SendRequest, PhotoIsStoredTwiceBeforeTheNotificationAndNamedByTheTime) {
  platform::notify::setDarwinNotifyCenter(checking_);
  std::int64_t before = std::time(nullptr);
  auto url = foundation::NSURL::fileURLWithPath(photo(4000, 3000).string());
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
  EXPECT_TRUE(fs::exists(container_ / "Documents/AttachmentsPreview" / name));
  EXPECT_TRUE(log_.contains("PXVIBER: content is: " + url->description()));
}

// The seconds of the name, whatever two digits follow them.
std::string secondsOf(const std::string& name) {
  return name.size() > 6 && name.ends_with(".jpg") ? name.substr(0, name.size() - 6)
                                                   : "BAD " + name;
}

// The phone prints the seconds as a 64-bit unsigned long; a 32-bit one would
// stop at 4294967295 (in 2106) and a negative or huge time must not wrap.
TEST(AttachmentName, TheWholeSecondsOfAnyTimeInDecimal) {
  EXPECT_EQ(attachmentFileName(1449500000.6), "144950000000.jpg");
  EXPECT_EQ(secondsOf(attachmentFileName(2224756800.9)), "2224756800");  // 2040
  EXPECT_EQ(secondsOf(attachmentFileName(4294967301.5)), "4294967301");  // 2106
  EXPECT_EQ(secondsOf(attachmentFileName(-5)), "0");
  EXPECT_EQ(secondsOf(attachmentFileName(1e30)), "18446744073709551615");
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

TEST_F(SendRequest, DebugLineNamesTheStoredFile) {
  settings().debugMode = true;
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  auto lines = log_.linesStartingWith(
      "PXVIBER: image to be sent stored in "
      "/private/var/mobile/Containers/Data/Application/C0FFEE/Documents/Attachments/");
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_FALSE(log_.linesStartingWith("PXVIBER: Viber application state is 2").empty());
}

TEST_F(SendRequest, UnreadableOrBrokenPhotosStillSendTheRequestButStoreNothing) {
  std::ofstream(root_ / "empty.jpg").close();
  std::ofstream(root_ / "text.jpg") << "this is not a picture";
  auto truncated = foundation::readFile(photo(200, 100));
  truncated->resize(truncated->size() / 3);
  foundation::writeFileAtomically(root_ / "cut.jpg", *truncated);
  for (const char* name : {"missing.jpg", "empty.jpg", "text.jpg"}) {
    center_->clearPosts();
    send(foundation::NSURL::fileURLWithPath((root_ / name).string()));
    EXPECT_EQ(center_->posts(), std::vector<std::string>{kSendMessageNotification}) << name;
    auto mailbox = *foundation::readDictionaryFile(preferencesPath());
    EXPECT_NE(foundation::find(mailbox, "messagePictureFile"), nullptr) << name;
  }
  EXPECT_EQ(storedSize("Attachments"), "none");
  // A cut-off JPEG decodes to what it holds; it is stored all the same.
  send(foundation::NSURL::fileURLWithPath((root_ / "cut.jpg").string()));
  EXPECT_EQ(storedSize("Attachments"), "200x100");
}

TEST_F(SendRequest, WithoutViberInstalledTheRequestIsSentAndNoFileIsWritten) {
  registry_->installed = nullptr;
  fs::remove_all(root_ / "private/var/containers");
  fs::remove_all(container_.parent_path());
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  auto mailbox = *foundation::readDictionaryFile(preferencesPath());
  EXPECT_EQ(foundation::find(mailbox, "messagePictureFileWithPath")
                ->asString()
                ->rfind("(null)/Documents/Attachments/", 0),
            0u);
  EXPECT_FALSE(fs::exists("(null)"));
  EXPECT_TRUE(log_.contains("PXVIBER: Viber app is nil"));
}

TEST_F(SendRequest, CanSendPhotosAnswersNo) {
  settings() = {true, 3, 10, true, true};
  EXPECT_FALSE(extension_->canSendPhotos());
}

}  // namespace
}  // namespace tweak
