// The connection, the store's metadata and entity numbers, and the readers.
#include "platform/viberdb/viber_database.h"

#include <sqlite3.h>

#include <chrono>
#include <utility>

#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/viberdb/sqlite_error.h"
#include "platform/viberdb/statement_cache.h"

namespace platform::viberdb {

namespace fs = std::filesystem;
using foundation::Date;
using foundation::Value;
using sqlite::Statement;

namespace {

constexpr const char* kMessageColumns =
    "SELECT M.Z_PK, M.ZCONVERSATION, M.ZPHONENUMINDEX, M.ZTOKEN, M.ZDATE, M.ZTEXT, M.ZTYPE, "
    "M.ZSTATE, M.ZREAD, A.ZNAME FROM ZVIBERMESSAGE AS M "
    "LEFT OUTER JOIN ZATTACHMENT AS A ON A.Z_PK = M.ZATTACHMENT ";

StoredMessage readMessage(const Statement& s) {
  StoredMessage m;
  m.pk = s.integer(0);
  m.conversation = s.integer(1);
  m.phoneNumIndex = s.optionalInteger(2);
  m.token = s.optionalInteger(3);
  m.date = Date{s.real(4)};
  m.text = s.text(5);
  m.type = s.text(6).value_or("");
  m.state = s.text(7).value_or("");
  m.read = s.integer(8) != 0;
  m.attachmentName = s.text(9);
  return m;
}

// The entities the messenger writes rows of, and every statement it writes
// with: a store it cannot write is refused when it is opened, not at a send.
constexpr Entity kWrittenEntities[] = {Entity::Conversation, Entity::ViberMessage,
                                       Entity::Attachment};

}  // namespace

sqlite::Connection openConnection(const fs::path& file, bool create) {
  return openThrowing(file, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0));
}

ViberDatabase::ViberDatabase(std::unique_ptr<StatementCache> statements)
    : statements_(std::move(statements)) {}

ViberDatabase::ViberDatabase(ViberDatabase&& other) noexcept = default;
ViberDatabase& ViberDatabase::operator=(ViberDatabase&& other) noexcept = default;
ViberDatabase::~ViberDatabase() = default;

sqlite::Connection& ViberDatabase::connection() const { return statements_->connection(); }

sqlite3* ViberDatabase::handle() const { return connection().handle(); }

ViberDatabase ViberDatabase::open(const fs::path& file, int busyTimeoutMs) {
  std::error_code ec;
  if (!fs::exists(file, ec)) throw Error("Viber database: no database at " + file.string());
  ViberDatabase db(std::make_unique<StatementCache>(openConnection(file, /*create=*/false)));
  // SQLite falls back to reading a file it may not write; this connection is
  // for writing, so it says so at once.
  if (db.connection().isReadOnly()) {
    throw Error("Viber database: the store " + file.string() + " cannot be written (read-only)");
  }
  db.connection().setBusyTimeout(busyTimeoutMs);
  db.execute("PRAGMA journal_mode=WAL");
  db.loadEntityNumbers();
  return db;
}

void ViberDatabase::loadEntityNumbers() {
  entityNumbers_.clear();
  Statement s(connection(), "SELECT Z_ENT, Z_NAME FROM Z_PRIMARYKEY");
  while (s.step()) {
    if (auto name = s.text(1)) entityNumbers_[*name] = static_cast<int>(s.integer(0));
  }
}

int ViberDatabase::entityNumber(Entity entity) const {
  auto it = entityNumbers_.find(std::string_view(entityName(entity)));
  if (it == entityNumbers_.end()) {
    throw Error(std::string("Viber database: Z_PRIMARYKEY has no entity ") + entityName(entity));
  }
  return it->second;
}

void ViberDatabase::requireWritableStore() {
  for (Entity e : kWrittenEntities) entityNumber(e);
  for (const char* sql : writeStatements()) statements_->get(sql);
}

StoreMetadata ViberDatabase::metadata() const {
  Statement& s = statements_->get("SELECT Z_UUID, Z_PLIST FROM Z_METADATA WHERE Z_VERSION = 1");
  if (!s.step()) throw Error("Viber database: the store has no metadata");
  StoreMetadata m;
  m.uuid = s.text(0).value_or("");
  auto plist = foundation::parsePropertyList(s.blob(1));
  s.reset();
  if (!plist || !plist->asDictionary())
    throw Error("Viber database: the store metadata is unreadable");
  m.plist = *plist->asDictionary();
  if (const Value* t = foundation::find(m.plist, "NSStoreType"); t && t->asString())
    m.storeType = *t->asString();
  if (const Value* h = foundation::find(m.plist, "NSStoreModelVersionHashes");
      h && h->asDictionary()) {
    for (auto& [name, hash] : *h->asDictionary()) {
      if (hash.asData()) m.versionHashes[name] = *hash.asData();
    }
  }
  return m;
}

std::optional<ConversationInfo> ViberDatabase::conversation(std::int64_t pk) const {
  Statement& s = statements_->get("SELECT ZGROUPID, ZNAME FROM ZCONVERSATION WHERE Z_PK = ?1");
  if (!s.bind(1, pk).step()) return std::nullopt;
  ConversationInfo info;
  info.pk = pk;
  info.groupId = s.text(0);
  info.name = s.text(1);
  s.reset();
  Statement& m = statements_->get(
      "SELECT P.Z_PK, P.ZPHONENUM FROM Z_4PHONENUMINDEXES AS J JOIN ZPHONENUMBERINDEX AS P "
      "ON P.Z_PK = J.Z_8PHONENUMINDEXES WHERE J.Z_4CONVERSATIONS = ?1 ORDER BY P.Z_PK");
  m.bind(1, pk);
  while (m.step()) {
    info.phoneNumIndexes.push_back(m.integer(0));
    info.phoneNumbers.push_back(m.text(1).value_or(""));
  }
  return info;
}

std::optional<std::int64_t> ViberDatabase::phoneNumberIndex(std::string_view number) const {
  Statement& s = statements_->get(
      "SELECT Z_PK FROM ZPHONENUMBERINDEX WHERE ZPHONENUM = ?1 ORDER BY Z_PK LIMIT 1");
  if (!s.bind(1, number).step()) return std::nullopt;
  std::int64_t pk = s.integer(0);
  s.reset();
  return pk;
}

std::vector<StoredMessage> ViberDatabase::messages(std::int64_t conversation) const {
  static const std::string sql =
      std::string(kMessageColumns) + "WHERE M.ZCONVERSATION = ?1 ORDER BY M.ZDATE, M.Z_PK";
  Statement& s = statements_->get(sql);
  s.bind(1, conversation);
  std::vector<StoredMessage> out;
  while (s.step()) out.push_back(readMessage(s));
  return out;
}

std::optional<StoredMessage> ViberDatabase::message(std::int64_t pk) const {
  static const std::string sql = std::string(kMessageColumns) + "WHERE M.Z_PK = ?1";
  Statement& s = statements_->get(sql);
  if (!s.bind(1, pk).step()) return std::nullopt;
  StoredMessage m = readMessage(s);
  s.reset();
  return m;
}

std::optional<StoredMessage> ViberDatabase::messageWithAttachment(std::string_view name) const {
  static const std::string sql =
      std::string(kMessageColumns) + "WHERE A.ZNAME = ?1 ORDER BY M.Z_PK DESC LIMIT 1";
  Statement& s = statements_->get(sql);
  if (!s.bind(1, name).step()) return std::nullopt;
  StoredMessage m = readMessage(s);
  s.reset();
  return m;
}

std::int64_t ViberDatabase::countRows(std::string_view table) const {
  return sqlite::queryInteger(connection(), "SELECT COUNT(*) FROM \"" + std::string(table) + "\"");
}

void ViberDatabase::transaction(const std::function<void()>& work) {
  execute("BEGIN IMMEDIATE");
  try {
    work();
  } catch (...) {
    // The failure that is rethrown is the work's; a failed rollback adds nothing.
    try {
      execute("ROLLBACK");
    } catch (const Error&) {
    }
    throw;
  }
  execute("COMMIT");
}

void ViberDatabase::execute(std::string_view sql) { connection().execute(sql); }

Date now() {
  using namespace std::chrono;
  double unix = duration<double>(system_clock::now().time_since_epoch()).count();
  return Date::fromUnix(unix);
}

}  // namespace platform::viberdb
