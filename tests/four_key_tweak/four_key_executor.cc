#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "tests/four_key_tweak/four_key_tweak.h"
#include "tweak/bridge/conversation_store.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"

namespace tweak::testing {

namespace foundation = platform::foundation;
using foundation::NSLog;

namespace {

foundation::Id objectFor(const foundation::Value* v) {
  if (!v) return nullptr;
  return std::make_shared<foundation::NSString>(v->description());
}

}  // namespace

void fourKeySendMessageCallback(platform::notify::NotifyCenter*, const void*, std::string_view,
                                const void*, const void*) {
  if (settings().debugMode) NSLog("PXVIBER: sendMessage callback in Viber");
  auto file = readMailbox().value_or(foundation::Dictionary{});
  const foundation::Value* text = foundation::find(file, key::messageText);
  const foundation::Value* conversationID = foundation::find(file, key::conversationID);
  const foundation::Value* picture = foundation::find(file, key::messagePictureFile);
  if (!conversationID) {
    showAlert(kAlertTitle, kNoConversationIDAlert);
    NSLog(kNoConversationIDLine);
    return;
  }
  foundation::Id message = objectFor(text), pictureName = objectFor(picture);
  std::string conversationText = conversationID->description();
  updateMailbox([](foundation::Dictionary& d) {
    d.erase(key::messageText);
    d.erase(key::conversationID);
    d.erase(key::messagePictureFile);
    d.erase(key::messagePictureFileWithPath);
  });
  auto manager = capturedManager();
  if (!manager) {
    showAlert(kAlertTitle, kNoManagerAlert);
    NSLog("PXVIBER: Unable to get DBM. Message not sent.");
    return;
  }
  auto conversation = resolveConversation(*manager, conversationText);
  if (!conversation) {
    showAlert(kAlertTitle, kNoConversationAlert);
    NSLog("PXVIBER: unable to find conversation! Message not sent.");
    return;
  }
  if (!pictureName) {
    manager->sendMessageOfType(std::make_shared<foundation::NSString>("text"), message, nullptr,
                               conversation, nullptr, nullptr, nullptr, nullptr, nullptr);
    return;
  }
  manager->sendPictureMessageWithConversation(
      conversation, pictureName, message, nullptr, [pictureName](bool) {
        auto current = capturedManager();
        auto attachment = current ? current->getAttachmentWithName(pictureName) : nullptr;
        if (attachment) {
          current->uploadAttachment(attachment, false);
        } else {
          NSLog("PXVIBER: unable to find the attachment for upload!");
          showAlert(kAlertTitle, kPictureFailedAlert);
        }
      });
}

}  // namespace tweak::testing
