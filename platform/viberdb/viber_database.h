// Viber's database: "Documents/Contacts.data" in the messenger's data container,
// the SQLite file behind its Core Data store, as the simulated messenger keeps it.
//
// The file has the shape Core Data gives a store: Z_PRIMARYKEY (one row per
// entity with the highest key handed out), Z_METADATA (the store's UUID and a
// binary property list naming the store type and a version hash per entity), and
// one table per entity with Z_PK, Z_ENT and Z_OPT columns. Conversation and
// PhoneNumberIndex are joined by the many-to-many table Z_4PHONENUMINDEXES. The
// journal is in WAL mode, so readers (the springboard's lookups) never wait for
// the messenger's writes.
//
// Tables and the columns that other code relies on:
//   ZABCONTACT         Z_PK, ZMAINNAME, ZSUFFIXNAME
//   ZPHONENUMBERINDEX  Z_PK, ZPHONENUM (text), ZCONTACT (-> ZABCONTACT)
//   ZCONVERSATION      Z_PK, ZGROUPID (NULL for a one-to-one chat), ZNAME, ZDATE,
//                      ZUNREADCOUNT
//   Z_4PHONENUMINDEXES Z_4CONVERSATIONS (-> ZCONVERSATION),
//                      Z_8PHONENUMINDEXES (-> ZPHONENUMBERINDEX)
//   ZVIBERMESSAGE      Z_PK, ZCONVERSATION, ZPHONENUMINDEX (the author; NULL for
//                      the user's own messages), ZTOKEN, ZDATE, ZTEXT, ZTYPE,
//                      ZSTATE, ZREAD, ZATTACHMENT (-> ZATTACHMENT)
//   ZATTACHMENT        Z_PK, ZNAME, ZTYPE, ZMESSAGE (-> ZVIBERMESSAGE)
// Dates (ZDATE) are seconds since 2001-01-01 00:00:00 UTC, stored as reals.
//
// A ViberDatabase is one read-write connection; use it from one thread at a
// time. Every failure throws platform::Error naming the statement that failed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/value.h"

struct sqlite3;

namespace sqlite {
class Connection;
}

namespace platform::viberdb {

// Where the database lives inside the data container.
inline constexpr const char* kDatabaseRelativePath = "Documents/Contacts.data";

// The entities of the store. A new store numbers them (Z_ENT) as below; an
// existing store's own numbers are read from its Z_PRIMARYKEY by entity name,
// so a store numbered differently still works. The many-to-many table keeps
// the name Z_4PHONENUMINDEXES whatever the numbers.
enum class Entity : int {
  ABContact = 1,
  Attachment = 2,
  Call = 3,
  Conversation = 4,
  Location = 5,
  Participant = 6,
  PhoneNumber = 7,
  PhoneNumberIndex = 8,
  ViberMessage = 9,
};

// The store's metadata (Z_METADATA).
struct StoreMetadata {
  std::string uuid;       // NSStoreUUID, also Z_METADATA.Z_UUID
  std::string storeType;  // NSStoreType: "SQLite"
  // NSStoreModelVersionHashes: entity name -> 32-byte hash, every entity listed.
  std::map<std::string, foundation::Data> versionHashes;
  foundation::Dictionary plist;  // the whole Z_PLIST
};

// Message types and states as the messenger writes them.
inline constexpr const char* kTypeText = "text";
inline constexpr const char* kTypePicture = "picture";
inline constexpr const char* kStateReceived = "received";  // incoming
inline constexpr const char* kStatePending = "pending";    // outgoing, not yet sent
inline constexpr const char* kStateSent = "sent";          // outgoing, sent
inline constexpr const char* kStateDelivered = "delivered";

struct NewConversation {
  std::optional<std::string> groupId;         // nullopt: a one-to-one chat
  std::optional<std::string> name;            // a group's name
  std::vector<std::int64_t> phoneNumIndexes;  // the members (ZPHONENUMBERINDEX keys)
};

struct NewMessage {
  std::int64_t conversation = 0;
  // The author's ZPHONENUMBERINDEX key; nullopt for the user's own message.
  std::optional<std::int64_t> phoneNumIndex;
  std::optional<std::string> text;  // nullopt is stored as NULL
  foundation::Date date;
  // nullopt: one more than the highest token in the table.
  std::optional<std::int64_t> token;
  std::string type = kTypeText;
  // Empty: kStateReceived for incoming messages, kStateDelivered for own ones.
  std::string state;
  bool read = true;
  // For a picture: adds a ZATTACHMENT row of that name linked to the message.
  std::optional<std::string> attachmentName;
};

struct StoredMessage {
  std::int64_t pk = 0;
  std::int64_t conversation = 0;
  std::optional<std::int64_t> phoneNumIndex;
  std::optional<std::int64_t> token;
  foundation::Date date;
  std::optional<std::string> text;
  std::string type;
  std::string state;
  bool read = false;
  std::optional<std::string> attachmentName;
};

struct ConversationInfo {
  std::int64_t pk = 0;
  std::optional<std::string> groupId;
  std::optional<std::string> name;
  std::vector<std::int64_t> phoneNumIndexes;  // ascending
  std::vector<std::string> phoneNumbers;      // in the order of phoneNumIndexes
};

class ViberDatabase {
 public:
  // Creates a new database file with the empty schema (and its folder); throws
  // when a file already exists at `file`.
  static ViberDatabase create(const std::filesystem::path& file);
  // Opens an existing database read-write, in WAL mode, waiting up to
  // `busyTimeoutMs` for a lock held by another connection. Throws for a file
  // that can only be read.
  static ViberDatabase open(const std::filesystem::path& file, int busyTimeoutMs = 5000);

  // Throws, saying why, unless this connection can write every row the
  // messenger writes: Z_PRIMARYKEY numbers the entities written, and every
  // table and column written exists.
  void requireWritableStore();
  // The store's number (Z_ENT) of `entity`; throws when Z_PRIMARYKEY has none.
  int entityNumber(Entity entity) const;

  ViberDatabase(ViberDatabase&& other) noexcept;
  ViberDatabase& operator=(ViberDatabase&& other) noexcept;
  ViberDatabase(const ViberDatabase&) = delete;
  ViberDatabase& operator=(const ViberDatabase&) = delete;
  ~ViberDatabase();

  StoreMetadata metadata() const;

  // Each adder answers the new row's Z_PK and keeps Z_PRIMARYKEY.Z_MAX in step.
  std::int64_t addContact(const std::optional<std::string>& mainName,
                          const std::optional<std::string>& suffixName);
  std::int64_t addPhoneNumber(const std::string& number, std::optional<std::int64_t> contact);
  std::int64_t addConversation(const NewConversation& conversation);
  // Inserts the message and updates its conversation's ZDATE and, for an unread
  // incoming message, ZUNREADCOUNT. Throws for an unknown conversation.
  std::int64_t insertMessage(const NewMessage& message);
  // Sets a message's state ("sent", "delivered"...).
  void setMessageState(std::int64_t message, const std::string& state);

  // Readers.
  std::optional<ConversationInfo> conversation(std::int64_t pk) const;
  std::optional<std::int64_t> phoneNumberIndex(std::string_view number) const;
  // The messages of a conversation, oldest first (by date, then key).
  std::vector<StoredMessage> messages(std::int64_t conversation) const;
  std::optional<StoredMessage> message(std::int64_t pk) const;
  // The message that carries the attachment `name`, if any.
  std::optional<StoredMessage> messageWithAttachment(std::string_view name) const;
  std::int64_t countRows(std::string_view table) const;

  // Runs `work` inside one write transaction (BEGIN IMMEDIATE ... COMMIT); rolls
  // back and rethrows when `work` throws. Not reentrant.
  void transaction(const std::function<void()>& work);

  // Runs SQL that returns no rows (tests, the generators).
  void execute(std::string_view sql);

  // The connection, for callers that run statements of their own; its
  // failures throw as this object's do.
  sqlite::Connection& connection() const;
  // SQLite's own handle of the connection.
  sqlite3* handle() const;

 private:
  class StatementCache;
  explicit ViberDatabase(std::unique_ptr<StatementCache> statements);
  void loadEntityNumbers();
  std::int64_t nextKey(Entity entity);
  std::int64_t nextToken();
  std::unique_ptr<StatementCache> statements_;
  std::map<std::string, int, std::less<>> entityNumbers_;  // Z_NAME -> Z_ENT
};

// The name of `entity` in Z_PRIMARYKEY and the model ("ViberMessage"...).
const char* entityName(Entity entity);

// The current time as a Date.
foundation::Date now();

}  // namespace platform::viberdb
