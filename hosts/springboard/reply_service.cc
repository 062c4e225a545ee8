#include "hosts/springboard/reply_service.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "hosts/springboard/application_services.h"
#include "platform/couria/couria.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notify_center.h"
#include "platform/runtime/class_registry.h"

namespace hosts {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

constexpr const char* kRequestKeys[] = {"messageText", "conversationID", "messagePictureFile",
                                        "messagePictureFileWithPath"};
constexpr const char* kSettingsDevicePath =
    "/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";

// The send-request keys the mailbox file holds now.
Dictionary readMailbox() {
  Dictionary mailbox;
  if (auto file = foundation::readDictionaryFile(foundation::hostPath(kSettingsDevicePath))) {
    for (const char* key : kRequestKeys) {
      if (const Value* v = foundation::find(*file, key)) mailbox[key] = *v;
    }
  }
  return mailbox;
}

// Forwards to the process's notify centre and reads the mailbox at the first
// post. The send request writes the file before it posts, and once the post is
// out a running messenger may take and clear the request at any moment; the
// moment of the post is the one at which the file is known to hold the request.
class MailboxAtPost final : public platform::notify::NotifyCenter {
 public:
  explicit MailboxAtPost(std::shared_ptr<NotifyCenter> inner) : inner_(std::move(inner)) {}

  void postNotification(std::string_view name) override {
    if (!mailbox) mailbox = readMailbox();
    if (inner_) inner_->postNotification(name);
  }
  ObserverId addObserver(const void* observer, platform::notify::NotificationCallback callback,
                         std::string name, platform::notify::SuspensionBehavior behavior) override {
    return inner_ ? inner_->addObserver(observer, std::move(callback), std::move(name), behavior)
                  : 0;
  }
  void removeObserver(ObserverId id) override {
    if (inner_) inner_->removeObserver(id);
  }

  std::optional<Dictionary> mailbox;

 private:
  std::shared_ptr<NotifyCenter> inner_;
};

}  // namespace

Dictionary answerReply(const Dictionary& request) {
  auto* cls = platform::runtime::lookUpClass<platform::couria::CouriaClass>("Couria");
  auto couria = cls ? cls->sharedInstance() : nullptr;
  if (!couria || !couria->openPanel()) {
    throw platform::Error("no reply panel is open (push a notification first)");
  }
  const auto& panel = *couria->openPanel();
  auto extension = couria->extensionForApplication(panel.application);
  if (!extension) throw platform::Error("no extension for " + panel.application);

  foundation::Id content;
  if (const Value* text = foundation::find(request, "text"); text && text->asString()) {
    content = std::make_shared<foundation::NSString>(*text->asString());
  } else if (const Value* photo = foundation::find(request, "photo"); photo && photo->asString()) {
    content =
        foundation::NSURL::fileURLWithPath(std::filesystem::absolute(*photo->asString()).string());
  } else {
    throw platform::Error("a reply needs a text or a photo");
  }

  size_t before = applicationActions().size();
  auto center = platform::notify::darwinNotifyCenter();
  auto watching = std::make_shared<MailboxAtPost>(center);
  platform::notify::setDarwinNotifyCenter(watching);
  try {
    extension->sendMessage(std::make_shared<platform::couria::ReplyMessage>(content), panel.user);
  } catch (...) {
    platform::notify::setDarwinNotifyCenter(center);
    throw;
  }
  platform::notify::setDarwinNotifyCenter(center);

  Dictionary answer;
  if (panel.user) answer["user"] = Value(*panel.user);
  // Without a post (nothing was sent) the file is read as it is now.
  answer["mailbox"] = Value(watching->mailbox ? *watching->mailbox : readMailbox());
  foundation::Array wake;
  auto actions = applicationActions();
  for (size_t i = before; i < actions.size(); ++i) wake.push_back(Value(actions[i]));
  answer["wake"] = Value(wake);
  return answer;
}

}  // namespace hosts
