// The send request's tests: a scratch iOS 9 device with Viber installed (its
// data container and bundle), AppList and a fake application registry with
// Viber suspended, a screen of 375 × 667 points at scale 2, and helpers that
// make photos and read back what the request stored, queued and told.
#pragma once

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

namespace tweak::testing {

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

class SendRequestTest : public TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
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
      if (k != key::pendingRequests && k != key::newestRequestID) {
        out += (out.empty() ? "" : ",") + k + "=" + v.description();
      }
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

}  // namespace tweak::testing
