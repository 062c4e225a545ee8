// What the tweak relies on inside Viber: its data container layout, the tables
// and columns of its database, the selectors of its database manager, and the
// shape of a conversation's Core Data URI.
#pragma once

namespace tweak::messenger {

// Inside the data container.
inline constexpr const char* kDatabaseFile = "Documents/Contacts.data";
inline constexpr const char* kAttachmentsFolder = "Documents/Attachments";
inline constexpr const char* kAttachmentsPreviewFolder = "Documents/AttachmentsPreview";

// Seconds from the Unix epoch to the database's epoch (2001-01-01 00:00:00 UTC).
inline constexpr long long kDatabaseEpochOffset = 978307200;

// The conversation store's metadata and URI.
inline constexpr const char* kStoreModelVersionHashesKey = "NSStoreModelVersionHashes";
inline constexpr const char* kStoreUUIDKey = "NSStoreUUID";
inline constexpr const char* kConversationEntity = "Conversation";
inline constexpr const char* kConversationURIFormat = "x-coredata://{}/Conversation/p{}";

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

}  // namespace tweak::messenger
