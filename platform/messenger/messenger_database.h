// The messenger's own working behind its database manager: one read-write
// connection to "Documents/Contacts.data" of its data container (WAL, as Core
// Data opens it), the store coordinator over it, and what each DBManager method
// does to the database.
//
// The coordinator lists two stores: first an in-memory store of the messenger's
// own (stickers; it has no Conversation entity), then the conversation store,
// whose metadata is read from Z_METADATA. Messages are written with the
// database's own helpers, so keys, tokens and the conversation's date stay in
// step with what the messenger's other writers do.
//
// Used from the messenger's main thread. Failures of the database throw
// platform::Error; lookups that find nothing answer nil.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/messenger/core_data.h"
#include "platform/messenger/managed_objects.h"
#include "platform/viberdb/viber_database.h"

namespace platform::messenger {

inline constexpr const char* kAttachmentsRelativePath = "Documents/Attachments";
// The entities of the messenger's own in-memory store.
inline constexpr const char* kStickerEntity = "Sticker";
inline constexpr const char* kStickerPackageEntity = "StickerPackage";

class MessengerDatabase {
 public:
  // Opens the database of the data container at `dataContainer`; throws
  // platform::Error when it is missing or not a Viber database.
  static std::shared_ptr<MessengerDatabase> open(const std::filesystem::path& dataContainer);

  const std::shared_ptr<const NSPersistentStoreCoordinator>& coordinator() const {
    return coordinator_;
  }
  const std::string& conversationStoreUUID() const { return storeUUID_; }
  const std::filesystem::path& attachmentsFolder() const { return attachments_; }

  // --- conversations: the conversation of an existing row, nil otherwise ---
  std::shared_ptr<const Conversation> conversation(std::int64_t key);
  // A group by its ZGROUPID.
  std::shared_ptr<const Conversation> conversationForGroup(const std::string& groupID);
  // The one-to-one chat with the phone number.
  std::shared_ptr<const Conversation> conversationForNumber(const std::string& number);
  // The conversation whose members are exactly these phone numbers / keys.
  std::shared_ptr<const Conversation> conversationForNumbers(std::vector<std::string> numbers);
  std::shared_ptr<const Conversation> conversationForPhoneNumIndexes(
      std::vector<std::int64_t> indexes);
  // The conversation of the message with that token.
  std::shared_ptr<const Conversation> conversationForToken(std::int64_t token);

  // --- sending ---
  // Writes an outgoing text message (no author, now, a new token) and answers it.
  viberdb::StoredMessage sendText(std::int64_t conversation, const std::string& text);
  // Whether `name` may name a file of the attachments folder: not empty, no
  // path separator, not "." or "..", no "..".
  static bool isAcceptableAttachmentName(const std::string& name);
  // Writes an outgoing picture message carrying the attachment `name` with its
  // caption, waiting for upload. nullopt (nothing written) when the name is not
  // acceptable or no such file is in the attachments folder.
  std::optional<viberdb::StoredMessage> sendPicture(std::int64_t conversation,
                                                    const std::string& name,
                                                    const std::optional<std::string>& caption);
  // The registered attachment `name` whose file exists; nil otherwise.
  std::shared_ptr<const Attachment> attachment(const std::string& name);
  // Marks the attachment's message as sent: the picture has been uploaded.
  void markUploaded(const Attachment& attachment);
  // Marks every message of the conversation read and its unread count zero.
  void markRead(std::int64_t conversation);
  // The conversation's unread count (ZUNREADCOUNT), what the messenger shows
  // beside it; 0 for none stored or no such conversation.
  std::int64_t unreadCount(std::int64_t conversation);

  // The conversation's messages, oldest first, as messageDictionary gives them.
  std::vector<foundation::Dictionary> messages(std::int64_t conversation);

  viberdb::ViberDatabase& database() { return db_; }

 private:
  // Writes one outgoing message, dated now, in a transaction of its own.
  viberdb::StoredMessage storeOutgoing(std::int64_t conversation,
                                       const std::optional<std::string>& text, const char* type,
                                       const char* state, const std::optional<std::string>& name);
  MessengerDatabase(viberdb::ViberDatabase db, std::filesystem::path dataContainer);
  std::shared_ptr<const Conversation> conversationFromRow(std::int64_t key,
                                                          std::optional<std::string> groupID);

  viberdb::ViberDatabase db_;
  std::filesystem::path attachments_;
  std::string storeUUID_;
  std::shared_ptr<const NSPersistentStoreCoordinator> coordinator_;
};

// A message as the "messages" request and `pxviber messages` show it:
// "key", "conversation", "token", "date" (a date), "text" (absent when NULL),
// "outgoing" (no author), "author" (the author's phone number, incoming only),
// "type", "state", "read", and for a picture "attachment" (its name) and
// "uploaded" (its message has left the pending state).
foundation::Dictionary messageDictionary(const viberdb::StoredMessage& message,
                                         const std::optional<std::string>& authorNumber);

// A conversation as `pxviber messages` shows it: its messages, oldest first,
// and its unread count.
struct ConversationListing {
  std::vector<foundation::Dictionary> messages;
  std::int64_t unreadCount = 0;
};

// The conversation read straight from the database file, read-only and in one
// transaction, for when the messenger is not running. Throws platform::Error
// when the file cannot be read or holds no such conversation
// (noConversationText()).
ConversationListing readConversationReadOnly(const std::filesystem::path& databaseFile,
                                             std::int64_t conversation);
// Its messages alone.
std::vector<foundation::Dictionary> readMessagesReadOnly(const std::filesystem::path& databaseFile,
                                                         std::int64_t conversation);

// "no conversation N in Viber's database": what asking for the messages of a
// conversation that does not exist answers.
std::string noConversationText(std::int64_t conversation);

}  // namespace platform::messenger
