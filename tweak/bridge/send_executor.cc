#include "tweak/bridge/send_executor.h"

#include <fmt/format.h>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

namespace foundation = platform::foundation;
namespace pm = platform::messenger;
using foundation::NSLog;
using foundation::Value;

namespace {

// A mailbox value handed to the messenger as the object the file held: text as
// a string, any other kind as an object of that kind that prints as "%@" would.
class PropertyListObject final : public foundation::NSObject {
 public:
  explicit PropertyListObject(Value value) : value_(std::move(value)) {}
  std::string className() const override {
    switch (value_.kind()) {
      case Value::Kind::Boolean:
      case Value::Kind::Integer:
      case Value::Kind::Real:
        return "NSNumber";
      case Value::Kind::Data:
        return "NSData";
      case Value::Kind::Date:
        return "NSDate";
      case Value::Kind::Array:
        return "NSArray";
      case Value::Kind::Dictionary:
        return "NSDictionary";
      default:
        return "NSObject";
    }
  }
  std::string description() const override { return value_.description(); }

 private:
  Value value_;
};

foundation::Id objectFor(const std::optional<Value>& value) {
  if (!value) return nullptr;
  if (const std::string* text = value->asString()) {
    return std::make_shared<foundation::NSString>(*text);
  }
  return std::make_shared<PropertyListObject>(*value);
}

std::optional<Value> entry(const std::optional<foundation::Dictionary>& file, const char* k) {
  if (!file) return std::nullopt;
  const Value* v = foundation::find(*file, k);
  return v ? std::optional<Value>(*v) : std::nullopt;
}

// The request as the file held it; absent keys are nil.
struct SendRequest {
  std::optional<Value> text;
  std::optional<Value> conversationID;
  std::optional<Value> pictureFile;
};

SendRequest readRequest() {
  auto file = readMailbox();
  return {entry(file, key::messageText), entry(file, key::conversationID),
          entry(file, key::messagePictureFile)};
}

void fail(const char* alertText, const char* logLine) {
  showAlert(kAlertTitle, alertText);
  NSLog(std::string_view(logLine));
}

// Picture completion: holds the file name for as long as the messenger keeps it.
pm::PictureCompletion pictureCompletion(foundation::Id fileName) {
  return [fileName](bool) {
    if (settings().debugMode) NSLog("PXVIBER: sendPictureM completion block");
    // The manager current when the messenger calls back, not the one that sent.
    std::shared_ptr<pm::DBManager> manager = capturedManager();
    pm::AttachmentRef attachment = manager ? manager->getAttachmentWithName(fileName) : nullptr;
    if (attachment) {
      manager->uploadAttachment(attachment, false);
      return;
    }
    NSLog("PXVIBER: unable to find the attachment for upload!");
    showAlert(kAlertTitle, kPictureFailedAlert);
  };
}

}  // namespace

std::shared_ptr<const pm::Conversation> resolveConversation(pm::DBManager& manager,
                                                            const std::string& conversationID) {
  pm::CoordinatorRef coordinator = manager.persistentStoreCoordinator();
  std::shared_ptr<const pm::NSPersistentStore> store;
  if (coordinator) {
    for (const auto& candidate : coordinator->persistentStores()) {
      const Value* hashes =
          foundation::find(candidate->metadata(), viber::kStoreModelVersionHashesKey);
      if (hashes && hashes->asDictionary() &&
          foundation::find(*hashes->asDictionary(), viber::kConversationEntity)) {
        store = candidate;
        break;
      }
    }
  }
  if (!store) {
    NSLog("PXVIBER: unable to find conversation persistent store!");
    return nullptr;
  }
  const Value* uuid = foundation::find(store->metadata(), viber::kStoreUUIDKey);
  std::string uri = fmt::format(fmt::runtime(viber::kConversationURIFormat),
                                uuid ? uuid->description() : "(null)", conversationID);
  if (settings().debugMode) NSLog("PXVIBER: generate conversation URL: {}", uri);
  auto objectID =
      coordinator->managedObjectIDForURIRepresentation(foundation::NSURL::URLWithString(uri));
  return manager.getConversationWithManagedObjectID(objectID);
}

void sendMessageCallback(platform::notify::NotifyCenter*, const void*, std::string_view,
                         const void*, const void*) {
  if (settings().debugMode) NSLog("PXVIBER: sendMessage callback in Viber");
  SendRequest request = readRequest();
  if (!request.conversationID) {
    // The request keys stay: only the alert relay writes, its own keys.
    fail(kNoConversationIDAlert,
         "PXVIBER: unable to read message conversationID! Message not sent.");
    return;
  }
  // From here on the request lives only in memory; a failure below discards it.
  clearSendRequest();
  std::shared_ptr<pm::DBManager> manager = capturedManager();
  if (!manager) {
    fail(kNoManagerAlert, "PXVIBER: Unable to get DBM. Message not sent.");
    return;
  }
  auto conversation = resolveConversation(*manager, request.conversationID->description());
  if (!conversation) {
    fail(kNoConversationAlert, "PXVIBER: unable to find conversation! Message not sent.");
    return;
  }
  if (!request.pictureFile) {
    manager->sendMessageOfType(std::make_shared<foundation::NSString>("text"),
                               objectFor(request.text), nullptr, conversation, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
    return;
  }
  foundation::Id fileName = objectFor(request.pictureFile);
  manager->sendPictureMessageWithConversation(conversation, fileName, objectFor(request.text),
                                              nullptr, pictureCompletion(fileName));
}

}  // namespace tweak
