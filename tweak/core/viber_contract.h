// What the tweak relies on inside Viber, in one place for both halves: the
// files of its data container, the epoch of its dates, the metadata of its
// Core Data store and the URI of a conversation, the class and selectors of its
// database manager, and the few columns read back to confirm a send.
//
// The springboard half reads the database and writes the attachment files; the
// messenger half calls the manager and reads its store back. Neither writes
// these values as literals of its own.
#pragma once

#include <cstdint>

namespace tweak::viber {

// Inside the data container (a device path such as viberAppPath() answers).
inline constexpr const char* kDatabaseFile = "Documents/Contacts.data";
inline constexpr const char* kAttachmentsFolder = "Documents/Attachments";
inline constexpr const char* kAttachmentsPreviewFolder = "Documents/AttachmentsPreview";

// Seconds from the Unix epoch to the database's epoch (2001-01-01 00:00:00 UTC),
// the epoch of every ZDATE.
inline constexpr std::int64_t kDatabaseEpochOffset = 978307200;
// The same number as SQL text, for statements that add it.
#define PXVIBER_DATABASE_EPOCH_OFFSET_SQL "978307200"

namespace detail {
constexpr std::int64_t decimal(const char* text) {
  std::int64_t value = 0;
  for (; *text; ++text) value = value * 10 + (*text - '0');
  return value;
}
}  // namespace detail
static_assert(detail::decimal(PXVIBER_DATABASE_EPOCH_OFFSET_SQL) == kDatabaseEpochOffset);

// The conversation store's metadata and a conversation's URI: store UUID, then
// the conversation's key in decimal.
inline constexpr const char* kStoreModelVersionHashesKey = "NSStoreModelVersionHashes";
inline constexpr const char* kStoreUUIDKey = "NSStoreUUID";
inline constexpr const char* kConversationEntity = "Conversation";
inline constexpr const char* kConversationURIFormat = "x-coredata://{}/Conversation/p{}";

// The state of an outgoing picture message whose attachment is not uploaded yet
// (ZVIBERMESSAGE.ZSTATE); any other state of a picture message means uploaded.
inline constexpr const char* kPendingMessageState = "pending";

// The class and the selectors of its instance methods that the tweak replaces
// or calls.
inline constexpr const char* kDBManagerClass = "DBManager";
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

}  // namespace tweak::viber
