#include "platform/messenger/messenger_database.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>

#include "platform/foundation/error.h"
#include "platform/foundation/uuid.h"
#include "platform/viberdb/sqlite_error.h"
#include "sqlite/statement.h"

namespace platform::messenger {

namespace fs = std::filesystem;
using foundation::Dictionary;
using foundation::Value;
using sqlite::Statement;

namespace {

// How long a write waits for another writer before it fails (and the tweak
// tries the request again later).
constexpr int kBusyTimeoutMs = 2000;

// The messenger's in-memory sticker store, listed before the database's store.
std::shared_ptr<const NSPersistentStore> stickerStore() {
  foundation::Data hash(32, 0x5a);
  Dictionary hashes{{kStickerEntity, Value(hash)}, {kStickerPackageEntity, Value(hash)}};
  return std::make_shared<NSPersistentStore>(
      Dictionary{{kStoreUUIDKey, Value(foundation::newUUID())},
                 {kStoreTypeKey, Value("InMemory")},
                 {kStoreModelVersionHashesKey, hashes}});
}

// Messages with their author's number, oldest first.
constexpr const char* kMessagesQuery =
    "SELECT M.Z_PK, M.ZCONVERSATION, M.ZPHONENUMINDEX, M.ZTOKEN, M.ZDATE, M.ZTEXT, M.ZTYPE, "
    "M.ZSTATE, M.ZREAD, A.ZNAME, P.ZPHONENUM FROM ZVIBERMESSAGE AS M "
    "LEFT OUTER JOIN ZATTACHMENT AS A ON A.Z_PK = M.ZATTACHMENT "
    "LEFT OUTER JOIN ZPHONENUMBERINDEX AS P ON P.Z_PK = M.ZPHONENUMINDEX "
    "WHERE M.ZCONVERSATION = ?1 ORDER BY M.ZDATE, M.Z_PK";

std::vector<Dictionary> messagesOf(sqlite::Connection& db, std::int64_t conversation) {
  Statement s(db, kMessagesQuery);
  s.bind(1, conversation);
  std::vector<Dictionary> out;
  while (s.step()) {
    viberdb::StoredMessage m;
    m.pk = s.integer(0);
    m.conversation = s.integer(1);
    m.phoneNumIndex = s.optionalInteger(2);
    m.token = s.optionalInteger(3);
    m.date = foundation::Date{s.real(4)};
    m.text = s.text(5);
    m.type = s.text(6).value_or("");
    m.state = s.text(7).value_or("");
    m.read = s.integer(8) != 0;
    m.attachmentName = s.text(9);
    out.push_back(messageDictionary(m, s.text(10)));
  }
  return out;
}

}  // namespace

MessengerDatabase::MessengerDatabase(viberdb::ViberDatabase db, fs::path dataContainer)
    : db_(std::move(db)), attachments_(dataContainer / kAttachmentsRelativePath) {
  auto url =
      foundation::NSURL::fileURLWithPath((dataContainer / viberdb::kDatabaseRelativePath).string());
  viberdb::StoreMetadata metadata = db_.metadata();
  Dictionary plist = metadata.plist;
  // Z_UUID and the property list agree in every store Core Data writes; the
  // column stands in when the list lacks the key.
  if (!foundation::find(plist, kStoreUUIDKey)) plist[kStoreUUIDKey] = Value(metadata.uuid);
  auto store = std::make_shared<NSPersistentStore>(std::move(plist), std::move(url));
  storeUUID_ = store->identifier().value_or(metadata.uuid);
  coordinator_ = std::make_shared<NSPersistentStoreCoordinator>(
      std::vector<std::shared_ptr<const NSPersistentStore>>{stickerStore(), store});
}

std::shared_ptr<MessengerDatabase> MessengerDatabase::open(const fs::path& dataContainer) {
  fs::path file = dataContainer / viberdb::kDatabaseRelativePath;
  if (!fs::is_regular_file(file)) throw Error("no Viber database at " + file.string());
  auto db = viberdb::ViberDatabase::open(file, kBusyTimeoutMs);
  // Refused now rather than at the first send: a store the messenger cannot
  // write would otherwise take requests and lose them.
  db.requireWritableStore();
  return std::shared_ptr<MessengerDatabase>(new MessengerDatabase(std::move(db), dataContainer));
}

std::shared_ptr<const Conversation> MessengerDatabase::conversationFromRow(
    std::int64_t key, std::optional<std::string> groupID) {
  return std::make_shared<Conversation>(
      std::make_shared<NSManagedObjectID>(storeUUID_, kConversationEntity, key),
      std::move(groupID));
}

std::shared_ptr<const Conversation> MessengerDatabase::conversation(std::int64_t key) {
  Statement s(db_.connection(), "SELECT Z_PK, ZGROUPID FROM ZCONVERSATION WHERE Z_PK = ?1");
  if (!s.bind(1, key).step()) return nullptr;
  return conversationFromRow(s.integer(0), s.text(1));
}

std::shared_ptr<const Conversation> MessengerDatabase::conversationForGroup(
    const std::string& groupID) {
  Statement s(db_.connection(),
              "SELECT Z_PK, ZGROUPID FROM ZCONVERSATION WHERE ZGROUPID = ?1 ORDER BY Z_PK");
  if (!s.bind(1, groupID).step()) return nullptr;
  return conversationFromRow(s.integer(0), s.text(1));
}

std::shared_ptr<const Conversation> MessengerDatabase::conversationForNumber(
    const std::string& number) {
  Statement s(db_.connection(),
              "SELECT C.Z_PK FROM ZCONVERSATION AS C "
              "JOIN Z_4PHONENUMINDEXES AS L ON L.Z_4CONVERSATIONS = C.Z_PK "
              "JOIN ZPHONENUMBERINDEX AS P ON P.Z_PK = L.Z_8PHONENUMINDEXES "
              "WHERE P.ZPHONENUM = ?1 AND C.ZGROUPID IS NULL ORDER BY C.Z_PK");
  if (!s.bind(1, number).step()) return nullptr;
  return conversationFromRow(s.integer(0), std::nullopt);
}

std::shared_ptr<const Conversation> MessengerDatabase::conversationForNumbers(
    std::vector<std::string> numbers) {
  std::vector<std::int64_t> indexes;
  for (const auto& n : numbers) {
    auto index = db_.phoneNumberIndex(n);
    if (!index) return nullptr;
    indexes.push_back(*index);
  }
  return conversationForPhoneNumIndexes(std::move(indexes));
}

std::shared_ptr<const Conversation> MessengerDatabase::conversationForPhoneNumIndexes(
    std::vector<std::int64_t> indexes) {
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  if (indexes.empty()) return nullptr;
  // Candidates hold the first member; the one whose whole member set matches wins.
  Statement candidates(db_.connection(),
                       "SELECT Z_4CONVERSATIONS FROM Z_4PHONENUMINDEXES "
                       "WHERE Z_8PHONENUMINDEXES = ?1 ORDER BY Z_4CONVERSATIONS");
  candidates.bind(1, indexes.front());
  while (candidates.step()) {
    std::int64_t key = candidates.integer(0);
    auto info = db_.conversation(key);
    if (info && info->phoneNumIndexes == indexes) return conversationFromRow(key, info->groupId);
  }
  return nullptr;
}

std::shared_ptr<const Conversation> MessengerDatabase::conversationForToken(std::int64_t token) {
  Statement s(db_.connection(), "SELECT ZCONVERSATION FROM ZVIBERMESSAGE WHERE ZTOKEN = ?1");
  if (!s.bind(1, token).step() || s.isNull(0)) return nullptr;
  return conversation(s.integer(0));
}

viberdb::StoredMessage MessengerDatabase::storeOutgoing(std::int64_t conversation,
                                                        const std::optional<std::string>& text,
                                                        const char* type, const char* state,
                                                        const std::optional<std::string>& name) {
  viberdb::NewMessage m;
  m.conversation = conversation;
  m.text = text;
  m.date = viberdb::now();
  m.type = type;
  m.state = state;
  m.attachmentName = name;
  std::int64_t key = 0;
  db_.transaction([&] { key = db_.insertMessage(m); });
  return *db_.message(key);
}

viberdb::StoredMessage MessengerDatabase::sendText(std::int64_t conversation,
                                                   const std::string& text) {
  return storeOutgoing(conversation, text, viberdb::kTypeText, viberdb::kStateSent, std::nullopt);
}

bool MessengerDatabase::isAcceptableAttachmentName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) return false;
  if (name.find("..") != std::string::npos) return false;
  return name.find('\0') == std::string::npos;
}

std::optional<viberdb::StoredMessage> MessengerDatabase::sendPicture(
    std::int64_t conversation, const std::string& name, const std::optional<std::string>& caption) {
  if (!isAcceptableAttachmentName(name)) return std::nullopt;
  std::error_code ec;
  if (!fs::is_regular_file(attachments_ / name, ec)) return std::nullopt;
  return storeOutgoing(conversation, caption, viberdb::kTypePicture, viberdb::kStatePending, name);
}

std::shared_ptr<const Attachment> MessengerDatabase::attachment(const std::string& name) {
  if (!isAcceptableAttachmentName(name)) return nullptr;
  std::error_code ec;
  fs::path path = attachments_ / name;
  if (!fs::is_regular_file(path, ec)) return nullptr;
  Statement s(db_.connection(), "SELECT Z_PK FROM ZATTACHMENT WHERE ZNAME = ?1 ORDER BY Z_PK DESC");
  if (!s.bind(1, name).step()) return nullptr;
  return std::make_shared<Attachment>(
      std::make_shared<NSManagedObjectID>(storeUUID_, kAttachmentEntity, s.integer(0)), name,
      path.string());
}

void MessengerDatabase::markUploaded(const Attachment& attachment) {
  Statement s(db_.connection(), "SELECT ZMESSAGE FROM ZATTACHMENT WHERE Z_PK = ?1");
  if (!s.bind(1, attachment.primaryKey()).step() || s.isNull(0)) return;
  std::int64_t message = s.integer(0);
  db_.transaction([&] { db_.setMessageState(message, viberdb::kStateSent); });
}

void MessengerDatabase::markRead(std::int64_t conversation) {
  db_.transaction([&] {
    Statement messages(db_.connection(),
                       "UPDATE ZVIBERMESSAGE SET ZREAD = 1, Z_OPT = Z_OPT + 1 "
                       "WHERE ZCONVERSATION = ?1 AND ZREAD = 0");
    messages.bind(1, conversation).step();
    Statement count(db_.connection(),
                    "UPDATE ZCONVERSATION SET ZUNREADCOUNT = 0, Z_OPT = Z_OPT + 1 WHERE Z_PK = ?1");
    count.bind(1, conversation).step();
  });
}

namespace {

std::int64_t unreadCountOf(sqlite::Connection& db, std::int64_t conversation) {
  Statement s(db, "SELECT ZUNREADCOUNT FROM ZCONVERSATION WHERE Z_PK = ?1");
  if (!s.bind(1, conversation).step()) return 0;
  return s.optionalInteger(0).value_or(0);
}

}  // namespace

std::int64_t MessengerDatabase::unreadCount(std::int64_t conversation) {
  return unreadCountOf(db_.connection(), conversation);
}

std::vector<Dictionary> MessengerDatabase::messages(std::int64_t conversation) {
  return messagesOf(db_.connection(), conversation);
}

Dictionary messageDictionary(const viberdb::StoredMessage& m,
                             const std::optional<std::string>& authorNumber) {
  Dictionary d{{"key", Value(static_cast<long long>(m.pk))},
               {"conversation", Value(static_cast<long long>(m.conversation))},
               {"date", Value(m.date)},
               {"outgoing", Value(!m.phoneNumIndex.has_value())},
               {"type", Value(m.type)},
               {"state", Value(m.state)},
               {"read", Value(m.read)}};
  if (m.token) d["token"] = Value(static_cast<long long>(*m.token));
  if (m.text) d["text"] = Value(*m.text);
  if (m.phoneNumIndex && authorNumber) d["author"] = Value(*authorNumber);
  if (m.attachmentName) {
    d["attachment"] = Value(*m.attachmentName);
    d["uploaded"] = Value(m.state != viberdb::kStatePending);
  }
  return d;
}

ConversationListing readConversationReadOnly(const fs::path& databaseFile,
                                             std::int64_t conversation) {
  sqlite::Connection db = viberdb::openThrowing(databaseFile, SQLITE_OPEN_READONLY);
  db.setBusyTimeout(5000);
  // One read transaction: the count and the messages are of the same moment,
  // whatever the messenger writes meanwhile.
  db.execute("BEGIN");
  if (!Statement(db, "SELECT 1 FROM ZCONVERSATION WHERE Z_PK = ?1").bind(1, conversation).step())
    throw Error(noConversationText(conversation));
  ConversationListing listing{messagesOf(db, conversation), unreadCountOf(db, conversation)};
  db.execute("COMMIT");
  return listing;
}

std::vector<Dictionary> readMessagesReadOnly(const fs::path& databaseFile,
                                             std::int64_t conversation) {
  return readConversationReadOnly(databaseFile, conversation).messages;
}

std::string noConversationText(std::int64_t conversation) {
  return "no conversation " + std::to_string(conversation) + " in Viber's database";
}

}  // namespace platform::messenger
