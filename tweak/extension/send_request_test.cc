#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/foundation/file_io.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "platform/springboard/app_list.h"
#include "platform/springboard/testing/fake_applications.h"
#include "tweak/core/application_location.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/send_queue.h"
#include "tweak/extension/attachment_names.h"
#include "tweak/extension/conversation_message.h"
#include "tweak/extension/deadline_watch.h"
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

// The device's catalogue, running `meanwhile` at each data-container lookup.
class WritingApplicationList final : public springboard::ALApplicationList {
 public:
  explicit WritingApplicationList(std::function<void()> meanwhile)
      : meanwhile_(std::move(meanwhile)) {}
  std::optional<std::string> valueForKey(std::string_view key,
                                         std::string_view identifier) const override {
    if (key == springboard::kALDataContainerPathKey) {
      ++writes;
      meanwhile_();
    }
    return inner_->valueForKey(key, identifier);
  }
  mutable int writes = 0;

 private:
  std::function<void()> meanwhile_;
  std::shared_ptr<springboard::ALApplicationList> inner_ = springboard::makeDeviceApplicationList();
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
    resetNicknameTableForTesting();
    resetDeadlineWatchForTesting();
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

  // The settings file without its queue, as "key=value" pairs.
  std::string requestKeys() const {
    auto d = foundation::readDictionaryFile(preferencesPath());
    if (!d) return "NONE";
    std::string out;
    for (auto& [k, v] : *d) {
      if (k != "pendingRequests") out += (out.empty() ? "" : ",") + k + "=" + v.description();
    }
    return out;
  }

  // The queued requests as "conversation|text|picture file" joined by ";".
  std::string queue() const {
    auto d = foundation::readDictionaryFile(preferencesPath());
    std::string out;
    for (const auto& r : d ? readQueue(*d).pending : std::vector<::tweak::SendRequest>{}) {
      out += (out.empty() ? "" : ";") + r.conversationID->description() + "|" +
             r.messageText->description() + "|" +
             (r.pictureFile ? r.pictureFile->description() : std::string());
    }
    return out;
  }

  // The files of an attachment folder, sorted.
  std::vector<std::string> stored(const char* folder) const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(container_ / "Documents" / folder)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> alertMessages() const {
    std::vector<std::string> out;
    for (const auto& a : alerts_.shown()) out.push_back(a.message.value_or("(null)"));
    return out;
  }

  fs::path container_;
  int photos_ = 0;
  std::shared_ptr<springboard::testing::FakeRegistry> registry_;
  std::shared_ptr<springboard::testing::FakeApplication> viber_;
  std::shared_ptr<CheckingCenter> checking_;
  std::shared_ptr<ORVViberCouriaExtension> extension_ = ORVViberCouriaExtension::create();
};

TEST_F(SendRequest, TextIsQueuedInItsTwoKeysKeepsOlderPictureKeysPostsOnceThenWakes) {
  writeFile({{"messagePictureFile", Value("1.jpg")},
             {"messagePictureFileWithPath", Value("/x/1.jpg")},
             {"debugMode", Value(false)}});
  send(std::make_shared<foundation::NSMutableString>("Hi 👋 there"));
  EXPECT_EQ(
      requestKeys(),
      "conversationID=5,debugMode=0,messagePictureFile=1.jpg,messagePictureFileWithPath=/x/1.jpg,"
      "messageText=Hi 👋 there");
  EXPECT_EQ(queue(), "5|Hi 👋 there|");
  EXPECT_EQ(center_->posts(), std::vector<std::string>{kSendMessageNotification});
  EXPECT_EQ(viber_->resumes, 1);
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
  auto before = static_cast<long>(std::time(nullptr));
  auto url = foundation::NSURL::fileURLWithPath(photo(4000, 3000).string());
  send(url, "42");
  EXPECT_EQ(checking_->posts,
            std::vector<std::string>{"org.northquay.parlexviber.sendMessage with 2 files"});
  EXPECT_EQ(storedSize("Attachments"), "1280x960");
  EXPECT_EQ(storedSize("AttachmentsPreview"), "750x562");
  auto mailbox = *foundation::readDictionaryFile(preferencesPath());
  std::string name = *foundation::find(mailbox, "messagePictureFile")->asString();
  long seconds = std::stol(name.substr(0, name.size() - 6));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, before + 2);
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

TEST_F(SendRequest, PhotosWithinOneSecondNeverShareANameWhereverTheNameIsTaken) {
  auto before = static_cast<std::uint64_t>(std::time(nullptr));
  // Taken in the preview folder only, and by a pending request with no file.
  for (std::uint64_t s = before; s <= before + 3; ++s) {
    std::ofstream(container_ / "Documents/AttachmentsPreview" / (std::to_string(s) + "00.jpg"));
  }
  ::tweak::SendRequest pending;
  pending.requestID = "older";
  pending.conversationID = Value("9");
  pending.messageText = Value("");
  pending.pictureFile = Value(std::to_string(before) + "01.jpg");
  Dictionary file;
  enqueueRequest(file, pending);
  writeFile(file);
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()), "1");
  send(foundation::NSURL::fileURLWithPath(photo(80, 60).string()), "2");
  auto names = readQueue(*foundation::readDictionaryFile(preferencesPath())).pending;
  ASSERT_EQ(names.size(), 3u);
  std::string first = *names[1].pictureFile->asString();
  std::string second = *names[2].pictureFile->asString();
  EXPECT_NE(first, second);
  if (first.substr(0, first.size() - 6) == std::to_string(before)) {
    EXPECT_EQ(first.substr(first.size() - 6), "02.jpg");
  }
  // Each request's files are its own photo.
  auto size = [&](const std::string& name) {
    auto image = graphics::UIImage::initWithData(
        *foundation::readFile(container_ / "Documents/Attachments" / name));
    return std::to_string(image->CGImage()->width());
  };
  EXPECT_EQ(size(first), "64");
  EXPECT_EQ(size(second), "80");
}

TEST_F(SendRequest, AllHundredNamesOfASecondTakenMeansNoName) {
  std::vector<fs::path> folders{container_ / "Documents/Attachments",
                                container_ / "Documents/AttachmentsPreview"};
  std::set<std::string> taken;
  for (int i = 0; i < 99; ++i) taken.insert(fmt::format("1700{:02}.jpg", i));
  EXPECT_EQ(freeAttachmentName(1700, folders, taken), "170099.jpg");
  std::ofstream(folders[0] / "170099.jpg");
  EXPECT_EQ(freeAttachmentName(1700, folders, taken), std::nullopt);
  EXPECT_EQ(freeAttachmentName(1701, folders, taken), "170100.jpg");
}

TEST_F(SendRequest, APhotoThatCannotBeReadIsNotSentAndTheUserIsTold) {
  settings().showAlerts = true;
  std::ofstream(root_ / "empty.jpg").close();
  std::ofstream(root_ / "text.jpg") << "this is not a picture";
  std::vector<foundation::Id> contents;
  for (const char* name : {"missing.jpg", "empty.jpg", "text.jpg"}) {
    contents.push_back(foundation::NSURL::fileURLWithPath((root_ / name).string()));
  }
  contents.push_back(foundation::NSURL::URLWithString("https://example.com/photo.jpg"));
  for (const auto& content : contents) send(content);
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(file(), "NONE");
  EXPECT_EQ(stored("Attachments"), std::vector<std::string>{});
  EXPECT_EQ(viber_->stateReadings, 0);
  EXPECT_EQ(alertMessages(),
            std::vector<std::string>(4,
                                     "Unable to read the photo. Message not sent.\n"
                                     "Photo reply to conversation 5"));
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: unable to read the photo at ").size(), 1u);
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: unable to decode the photo at ").size(), 2u);
  EXPECT_TRUE(log_.contains(
      "PXVIBER: photo content is not a file URL, nothing to read: https://example.com/photo.jpg"));
}

TEST_F(SendRequest, ACutOffPhotoIsStoredAsFarAsItDecodes) {
  auto truncated = foundation::readFile(photo(200, 100));
  truncated->resize(truncated->size() / 3);
  foundation::writeFileAtomically(root_ / "cut.jpg", *truncated);
  send(foundation::NSURL::fileURLWithPath((root_ / "cut.jpg").string()));
  EXPECT_EQ(storedSize("Attachments"), "200x100");
  EXPECT_EQ(center_->postCount(kSendMessageNotification), 1);
}

TEST_F(SendRequest, WithoutViberInstalledNoPhotoRequestIsMadeAndTheUserIsTold) {
  settings().showAlerts = true;
  registry_->installed = nullptr;
  fs::remove_all(root_ / "private/var/containers");
  fs::remove_all(container_.parent_path());
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()));
  EXPECT_EQ(file(), "NONE");
  EXPECT_FALSE(fs::exists("(null)"));
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(alertMessages(), std::vector<std::string>{"Unable to store the photo for Viber. "
                                                      "Message not sent.\nPhoto reply to "
                                                      "conversation 5"});
  EXPECT_TRUE(
      log_.contains("PXVIBER: Viber's data container not found; the photo cannot be stored"));
}

TEST_F(SendRequest, ARequestThatCannotBeWrittenIsNotPostedAndLeavesNoPhotoBehind) {
  settings().showAlerts = true;
  writeFile({{"debugMode", Value(false)}});
  // The writer's lock cannot be taken: nothing may be written.
  fs::create_directory(preferencesPath().string() + ".lock");
  send(foundation::NSURL::fileURLWithPath(photo(64, 48).string()), "3");
  send(std::make_shared<foundation::NSString>("and a text"), "3");
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_EQ(viber_->stateReadings, 0);
  EXPECT_EQ(stored("Attachments"), std::vector<std::string>{});
  EXPECT_EQ(stored("AttachmentsPreview"), std::vector<std::string>{});
  EXPECT_EQ(file(), "debugMode=0");
  EXPECT_EQ(alertMessages(),
            (std::vector<std::string>{
                "Unable to save the reply for Viber. Message not sent.\nPhoto reply to "
                "conversation 3",
                "Unable to save the reply for Viber. Message not sent.\nReply to conversation 3: "
                "\"and a text\""}));
}

TEST_F(SendRequest, TheMailboxIsReadForTheWriteOnlyAfterThePhotoWork) {
  // The data-container lookup of the photo work stands for anything that
  // writes the file meanwhile: a saved setting, an alert, the messenger.
  auto list = std::make_shared<WritingApplicationList>(
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
