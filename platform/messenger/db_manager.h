// The messenger's database manager: the class "DBManager" and its instances.
//
// Every instance method is dispatched through the class's method table, so a
// loaded tweak can replace one with MSHookMessageEx and call the implementation
// it displaced. Each selector has one fixed implementation signature, declared
// below under `sig`: the receiver comes first (the instance being initialised,
// shared, for the three initialisers; a reference otherwise), then the
// arguments in selector order. Objects travel as foundation::Id where the
// messenger takes "any object" and as the model types where it answers them; a
// nil object is a null pointer.
//
// The messenger defines the implementations (messenger_methods.h) before tweaks
// load; a selector without an implementation answers nil or does nothing, as a
// message the class does not answer would on the phone if it were guarded by
// respondsToSelector:. Instances are used from the messenger's main thread;
// the picture completion may be called later from the main run loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/object.h"
#include "platform/messenger/core_data.h"
#include "platform/messenger/managed_objects.h"
#include "platform/runtime/method_table.h"

namespace platform::messenger {

class DBManager;
class DBManagerClass;
class MessengerDatabase;

using foundation::Id;
using DBManagerRef = std::shared_ptr<DBManager>;
using ConversationRef = std::shared_ptr<const Conversation>;
using AttachmentRef = std::shared_ptr<const Attachment>;
using ObjectIDRef = std::shared_ptr<const NSManagedObjectID>;
using CoordinatorRef = std::shared_ptr<const NSPersistentStoreCoordinator>;
// The picture send's completion; its argument says whether the send went out.
using PictureCompletion = std::function<void(bool)>;

inline constexpr const char* kDBManagerClassName = "DBManager";

// Selectors of DBManager.
namespace selector {
inline constexpr const char* init = "init";
inline constexpr const char* initInLightweightMode = "initInLightweightMode";
inline constexpr const char* initWithAddressBook = "initWithAddressBook:";
inline constexpr const char* getConversationWithManagedObjectID =
    "getConversationWithManagedObjectID:";
inline constexpr const char* getConversationWithPhoneNumIndexes =
    "getConversationWithPhoneNumIndexes:";
inline constexpr const char* getConversationWithContext = "getConversationWithContext:";
inline constexpr const char* getConversationWithIDPhoneNumber =
    "getConversationWithID:phoneNumber:";
inline constexpr const char* getConversationWithCanonizedNumbers =
    "getConversationWithCanonizedNumbers:";
inline constexpr const char* getCoversationWithCanonizedNumber =
    "getCoversationWithCanonizedNumber:";
inline constexpr const char* getConversationWithID = "getConversationWithID:";
inline constexpr const char* sendMessageOfType =
    "sendMessageOfType:withText:location:conversation:fileName:attachmentUrl:duration:completion:"
    "blockListContinueHandler:";
inline constexpr const char* sendPictureMessageWithConversation =
    "sendPictureMessageWithConversation:attachmentName:description:attachmentUrl:completion:";
inline constexpr const char* getAttachmentWithName = "getAttachmentWithName:";
inline constexpr const char* uploadAttachment = "uploadAttachment:resending:";
inline constexpr const char* markAsReadMessagesForConversation =
    "markAsReadMessagesForConversation:";
inline constexpr const char* persistentStoreCoordinator = "persistentStoreCoordinator";
}  // namespace selector

// The implementation signature of each selector.
namespace sig {
// init, initInLightweightMode: the initialised manager, or nil.
using Init = DBManagerRef(DBManagerRef self);
using InitWithAddressBook = DBManagerRef(DBManagerRef self, Id addressBook);
using GetConversationWithManagedObjectID = ConversationRef(DBManager& self, ObjectIDRef objectID);
// The other one-argument conversation getters.
using GetConversation = ConversationRef(DBManager& self, Id argument);
using GetConversationWithIDPhoneNumber = ConversationRef(DBManager& self, Id id, Id phoneNumber);
// The nine pointer-sized arguments of the text send, all objects; a duration of
// zero is nil.
using SendMessageOfType = void(DBManager& self, Id type, Id text, Id location, Id conversation,
                               Id fileName, Id attachmentUrl, Id duration, Id completion,
                               Id blockListContinueHandler);
using SendPictureMessage = void(DBManager& self, Id conversation, Id attachmentName, Id description,
                                Id attachmentUrl, PictureCompletion completion);
using GetAttachmentWithName = AttachmentRef(DBManager& self, Id name);
using UploadAttachment = void(DBManager& self, AttachmentRef attachment, bool resending);
using MarkAsReadMessagesForConversation = void(DBManager& self, Id conversation);
using PersistentStoreCoordinator = CoordinatorRef(DBManager& self);
}  // namespace sig

// The class object: the method table, and alloc.
class DBManagerClass : public runtime::ObjCClass,
                       public std::enable_shared_from_this<DBManagerClass> {
 public:
  std::string name() const override { return kDBManagerClassName; }
  // A new, uninitialised instance of this class (send it one of the initialisers).
  DBManagerRef alloc();
};

// An instance. Each method sends the selector through the class's table.
class DBManager : public foundation::NSObject, public std::enable_shared_from_this<DBManager> {
 public:
  explicit DBManager(std::shared_ptr<DBManagerClass> cls) : class_(std::move(cls)) {}

  std::string className() const override { return kDBManagerClassName; }

  DBManagerClass& objcClass() const { return *class_; }
  bool respondsToSelector(std::string_view selector) const {
    return class_->methods().respondsTo(selector);
  }

  DBManagerRef init();
  DBManagerRef initInLightweightMode();
  DBManagerRef initWithAddressBook(Id addressBook);
  ConversationRef getConversationWithManagedObjectID(ObjectIDRef objectID);
  ConversationRef getConversationWithPhoneNumIndexes(Id indexes);
  ConversationRef getConversationWithContext(Id context);
  ConversationRef getConversationWithID(Id id, Id phoneNumber);
  ConversationRef getConversationWithCanonizedNumbers(Id numbers);
  ConversationRef getCoversationWithCanonizedNumber(Id number);
  ConversationRef getConversationWithID(Id id);
  void sendMessageOfType(Id type, Id text, Id location, Id conversation, Id fileName,
                         Id attachmentUrl, Id duration, Id completion, Id blockListContinueHandler);
  void sendPictureMessageWithConversation(Id conversation, Id attachmentName, Id description,
                                          Id attachmentUrl, PictureCompletion completion);
  AttachmentRef getAttachmentWithName(Id name);
  void uploadAttachment(AttachmentRef attachment, bool resending);
  void markAsReadMessagesForConversation(Id conversation);
  CoordinatorRef persistentStoreCoordinator();

  // The messenger's own state behind this instance (its open database); set by
  // the messenger's initialisers, null for an instance they have not set up.
  const std::shared_ptr<MessengerDatabase>& database() const { return database_; }
  void setDatabase(std::shared_ptr<MessengerDatabase> database) { database_ = std::move(database); }

 private:
  template <class Sig, class... Args>
  auto send(std::string_view selector, Args&&... args);

  std::shared_ptr<DBManagerClass> class_;
  std::shared_ptr<MessengerDatabase> database_;
};

}  // namespace platform::messenger
