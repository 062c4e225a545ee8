#include "platform/messenger/db_manager.h"

#include <fmt/format.h>

namespace platform::messenger {

DBManagerRef DBManagerClass::alloc() { return std::make_shared<DBManager>(shared_from_this()); }

// A message to a selector without an implementation answers a default value
// (nil, or nothing), as a message to nil does.
template <class Sig, class... Args>
auto DBManager::send(std::string_view selector, Args&&... args) {
  auto implementation = class_->methods().implementation<Sig>(selector);
  using Result = typename std::function<Sig>::result_type;
  if (!implementation) return Result();
  return implementation(std::forward<Args>(args)...);
}

DBManagerRef DBManager::init() { return send<sig::Init>(selector::init, shared_from_this()); }

DBManagerRef DBManager::initInLightweightMode() {
  return send<sig::Init>(selector::initInLightweightMode, shared_from_this());
}

DBManagerRef DBManager::initWithAddressBook(Id addressBook) {
  return send<sig::InitWithAddressBook>(selector::initWithAddressBook, shared_from_this(),
                                        std::move(addressBook));
}

ConversationRef DBManager::getConversationWithManagedObjectID(ObjectIDRef objectID) {
  return send<sig::GetConversationWithManagedObjectID>(selector::getConversationWithManagedObjectID,
                                                       *this, std::move(objectID));
}

ConversationRef DBManager::getConversationWithPhoneNumIndexes(Id indexes) {
  return send<sig::GetConversation>(selector::getConversationWithPhoneNumIndexes, *this,
                                    std::move(indexes));
}

ConversationRef DBManager::getConversationWithContext(Id context) {
  return send<sig::GetConversation>(selector::getConversationWithContext, *this,
                                    std::move(context));
}

ConversationRef DBManager::getConversationWithID(Id id, Id phoneNumber) {
  return send<sig::GetConversationWithIDPhoneNumber>(selector::getConversationWithIDPhoneNumber,
                                                     *this, std::move(id), std::move(phoneNumber));
}

ConversationRef DBManager::getConversationWithCanonizedNumbers(Id numbers) {
  return send<sig::GetConversation>(selector::getConversationWithCanonizedNumbers, *this,
                                    std::move(numbers));
}

ConversationRef DBManager::getCoversationWithCanonizedNumber(Id number) {
  return send<sig::GetConversation>(selector::getCoversationWithCanonizedNumber, *this,
                                    std::move(number));
}

ConversationRef DBManager::getConversationWithID(Id id) {
  return send<sig::GetConversation>(selector::getConversationWithID, *this, std::move(id));
}

void DBManager::sendMessageOfType(Id type, Id text, Id location, Id conversation, Id fileName,
                                  Id attachmentUrl, Id duration, Id completion,
                                  Id blockListContinueHandler) {
  send<sig::SendMessageOfType>(selector::sendMessageOfType, *this, std::move(type), std::move(text),
                               std::move(location), std::move(conversation), std::move(fileName),
                               std::move(attachmentUrl), std::move(duration), std::move(completion),
                               std::move(blockListContinueHandler));
}

void DBManager::sendPictureMessageWithConversation(Id conversation, Id attachmentName,
                                                   Id description, Id attachmentUrl,
                                                   PictureCompletion completion) {
  send<sig::SendPictureMessage>(selector::sendPictureMessageWithConversation, *this,
                                std::move(conversation), std::move(attachmentName),
                                std::move(description), std::move(attachmentUrl),
                                std::move(completion));
}

AttachmentRef DBManager::getAttachmentWithName(Id name) {
  return send<sig::GetAttachmentWithName>(selector::getAttachmentWithName, *this, std::move(name));
}

void DBManager::uploadAttachment(AttachmentRef attachment, bool resending) {
  send<sig::UploadAttachment>(selector::uploadAttachment, *this, std::move(attachment), resending);
}

void DBManager::markAsReadMessagesForConversation(Id conversation) {
  send<sig::MarkAsReadMessagesForConversation>(selector::markAsReadMessagesForConversation, *this,
                                               std::move(conversation));
}

CoordinatorRef DBManager::persistentStoreCoordinator() {
  return send<sig::PersistentStoreCoordinator>(selector::persistentStoreCoordinator, *this);
}

std::string Conversation::description() const {
  return fmt::format("<Conversation: {}> (entity: Conversation; id: {}; groupID: {})",
                     fmt::ptr(this), objectID_->description(), groupID_.value_or("(null)"));
}

std::string Attachment::description() const {
  return fmt::format("<Attachment: {}> (name: {}; id: {})", fmt::ptr(this), name_,
                     objectID_->description());
}

std::string NSArray::description() const {
  std::string out = "(";
  for (size_t i = 0; i < objects_.size(); ++i) {
    out += (i ? ", " : "") + foundation::describe(objects_[i]);
  }
  return out + ")";
}

}  // namespace platform::messenger
