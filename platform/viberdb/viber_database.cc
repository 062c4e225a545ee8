#include "platform/viberdb/viber_database.h"

#include <sqlite3.h>

#include <chrono>
#include <utility>

#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/uuid.h"
#include "platform/viberdb/sqlite_error.h"

namespace platform::viberdb {

namespace fs = std::filesystem;
using foundation::Data;
using foundation::Date;
using foundation::Dictionary;
using foundation::Value;

namespace {

struct EntityName {
  Entity entity;
  const char* name;
};

constexpr EntityName kEntities[] = {
    {Entity::ABContact, "ABContact"},
    {Entity::Attachment, "Attachment"},
    {Entity::Call, "Call"},
    {Entity::Conversation, "Conversation"},
    {Entity::Location, "Location"},
    {Entity::Participant, "Participant"},
    {Entity::PhoneNumber, "PhoneNumber"},
    {Entity::PhoneNumberIndex, "PhoneNumberIndex"},
    {Entity::ViberMessage, "ViberMessage"},
};

// The tables as Core Data lays them out: Z_PK, Z_ENT, Z_OPT first, then the
// attributes and to-one keys (Z prefix, upper case); an index on every to-one
// key, and on the attributes the messenger searches by (token, phone number).
constexpr const char* kSchema = R"sql(
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE ZABCONTACT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZABID INTEGER, ZMAINNAME VARCHAR, ZSUFFIXNAME VARCHAR, ZSORTNAME VARCHAR);
CREATE TABLE ZATTACHMENT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZMESSAGE INTEGER, ZNAME VARCHAR, ZTYPE VARCHAR, ZSIZE INTEGER);
CREATE TABLE ZCALL (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZPHONENUMINDEX INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT, ZTYPE VARCHAR);
CREATE TABLE ZCONVERSATION (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZGROUPID INTEGER, ZNAME VARCHAR, ZDATE TIMESTAMP, ZUNREADCOUNT INTEGER, ZMUTED INTEGER);
CREATE TABLE ZLOCATION (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZMESSAGE INTEGER, ZLATITUDE FLOAT, ZLONGITUDE FLOAT, ZADDRESS VARCHAR);
CREATE TABLE ZPARTICIPANT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCONVERSATION INTEGER, ZPHONENUMINDEX INTEGER, ZROLE INTEGER);
CREATE TABLE ZPHONENUMBER (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCONTACT INTEGER, ZNUMBER VARCHAR, ZLABEL VARCHAR);
CREATE TABLE ZPHONENUMBERINDEX (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCONTACT INTEGER, ZPHONENUM VARCHAR, ZISVIBER INTEGER);
CREATE TABLE ZVIBERMESSAGE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZCONVERSATION INTEGER, ZPHONENUMINDEX INTEGER, ZATTACHMENT INTEGER, ZLOCATION INTEGER,
  ZTOKEN INTEGER, ZSEQ INTEGER, ZREAD INTEGER, ZDATE TIMESTAMP, ZTEXT VARCHAR,
  ZTYPE VARCHAR, ZSTATE VARCHAR);
CREATE TABLE Z_4PHONENUMINDEXES (Z_4CONVERSATIONS INTEGER, Z_8PHONENUMINDEXES INTEGER,
  PRIMARY KEY (Z_4CONVERSATIONS, Z_8PHONENUMINDEXES));
CREATE INDEX Z_4PHONENUMINDEXES_Z_8PHONENUMINDEXES_INDEX ON Z_4PHONENUMINDEXES (Z_8PHONENUMINDEXES, Z_4CONVERSATIONS);
CREATE INDEX ZATTACHMENT_ZMESSAGE_INDEX ON ZATTACHMENT (ZMESSAGE);
CREATE INDEX ZATTACHMENT_ZNAME_INDEX ON ZATTACHMENT (ZNAME);
CREATE INDEX ZCALL_ZPHONENUMINDEX_INDEX ON ZCALL (ZPHONENUMINDEX);
CREATE INDEX ZLOCATION_ZMESSAGE_INDEX ON ZLOCATION (ZMESSAGE);
CREATE INDEX ZPARTICIPANT_ZCONVERSATION_INDEX ON ZPARTICIPANT (ZCONVERSATION);
CREATE INDEX ZPARTICIPANT_ZPHONENUMINDEX_INDEX ON ZPARTICIPANT (ZPHONENUMINDEX);
CREATE INDEX ZPHONENUMBER_ZCONTACT_INDEX ON ZPHONENUMBER (ZCONTACT);
CREATE INDEX ZPHONENUMBERINDEX_ZCONTACT_INDEX ON ZPHONENUMBERINDEX (ZCONTACT);
CREATE INDEX ZPHONENUMBERINDEX_ZPHONENUM_INDEX ON ZPHONENUMBERINDEX (ZPHONENUM);
CREATE INDEX ZVIBERMESSAGE_ZCONVERSATION_INDEX ON ZVIBERMESSAGE (ZCONVERSATION);
CREATE INDEX ZVIBERMESSAGE_ZPHONENUMINDEX_INDEX ON ZVIBERMESSAGE (ZPHONENUMINDEX);
CREATE INDEX ZVIBERMESSAGE_ZATTACHMENT_INDEX ON ZVIBERMESSAGE (ZATTACHMENT);
CREATE INDEX ZVIBERMESSAGE_ZLOCATION_INDEX ON ZVIBERMESSAGE (ZLOCATION);
CREATE INDEX ZVIBERMESSAGE_ZTOKEN_INDEX ON ZVIBERMESSAGE (ZTOKEN);
)sql";

// A 32-byte version hash per entity. Core Data derives it from the entity's
// description; a stable digest of the name serves the same purpose here (equal
// models, equal hashes).
Data versionHash(std::string_view entity) {
  Data hash(32);
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < hash.size(); ++i) {
    for (char c : entity) h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    h = (h ^ i) * 1099511628211ull;
    hash[i] = static_cast<std::uint8_t>(h >> 56);
  }
  return hash;
}

Dictionary metadataPlist(const std::string& uuid) {
  Dictionary hashes;
  for (auto& e : kEntities) hashes[e.name] = Value(versionHash(e.name));
  return Dictionary{
      {"NSPersistenceFrameworkVersion", Value(641)},
      {"NSStoreModelVersionHashes", Value(hashes)},
      {"NSStoreModelVersionHashesVersion", Value(3)},
      {"NSStoreModelVersionIdentifiers", Value(foundation::Array{Value("")})},
      {"NSStoreType", Value("SQLite")},
      {"NSStoreUUID", Value(uuid)},
      {"_NSAutoVacuumLevel", Value("2")},
  };
}

}  // namespace

// Prepared statements kept for the life of the connection, so that the bulk
// generators and the messenger's repeated inserts prepare each text once.
class ViberDatabase::StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  ~StatementCache() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  }
  // The statement for `sql`, reset and with its bindings cleared.
  sqlite3_stmt* get(const char* sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
      sqlite3_reset(it->second);
      sqlite3_clear_bindings(it->second);
      return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) throw sqliteError(db_, rc, std::string("preparing ") + sql);
    statements_.emplace(sql, stmt);
    return stmt;
  }

 private:
  sqlite3* db_;
  std::map<std::string, sqlite3_stmt*, std::less<>> statements_;
};

namespace {

void bindText(sqlite3_stmt* s, int i, const std::optional<std::string>& v) {
  if (v) {
    sqlite3_bind_text(s, i, v->data(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(s, i);
  }
}

void bindInt(sqlite3_stmt* s, int i, const std::optional<std::int64_t>& v) {
  if (v) {
    sqlite3_bind_int64(s, i, *v);
  } else {
    sqlite3_bind_null(s, i);
  }
}

// Steps a statement that returns no rows.
void run(sqlite3* db, sqlite3_stmt* s) {
  int rc = sqlite3_step(s);
  if (rc != SQLITE_DONE) throw sqliteError(db, rc, std::string("running ") + sqlite3_sql(s));
  sqlite3_reset(s);
}

// Steps a statement for its next row; false when done.
bool nextRow(sqlite3* db, sqlite3_stmt* s) {
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw sqliteError(db, rc, std::string("running ") + sqlite3_sql(s));
}

std::optional<std::string> columnText(sqlite3_stmt* s, int i) {
  if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
  const unsigned char* t = sqlite3_column_text(s, i);
  return std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(s, i));
}

std::optional<std::int64_t> columnInt(sqlite3_stmt* s, int i) {
  if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_int64(s, i);
}

sqlite3* openConnection(const fs::path& file, int flags) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    Error e = sqliteError(db, rc, "opening " + file.string());
    sqlite3_close(db);
    throw e;
  }
  return db;
}

void exec(sqlite3* db, std::string_view sql) {
  char* message = nullptr;
  std::string text(sql);
  int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string why = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw Error("Viber database: " + text.substr(0, 80) + ": " + why);
  }
}

constexpr const char* kMessageColumns =
    "SELECT M.Z_PK, M.ZCONVERSATION, M.ZPHONENUMINDEX, M.ZTOKEN, M.ZDATE, M.ZTEXT, M.ZTYPE, "
    "M.ZSTATE, M.ZREAD, A.ZNAME FROM ZVIBERMESSAGE AS M "
    "LEFT OUTER JOIN ZATTACHMENT AS A ON A.Z_PK = M.ZATTACHMENT ";

StoredMessage readMessage(sqlite3_stmt* s) {
  StoredMessage m;
  m.pk = sqlite3_column_int64(s, 0);
  m.conversation = sqlite3_column_int64(s, 1);
  m.phoneNumIndex = columnInt(s, 2);
  m.token = columnInt(s, 3);
  m.date = Date{sqlite3_column_double(s, 4)};
  m.text = columnText(s, 5);
  m.type = columnText(s, 6).value_or("");
  m.state = columnText(s, 7).value_or("");
  m.read = sqlite3_column_int64(s, 8) != 0;
  m.attachmentName = columnText(s, 9);
  return m;
}

}  // namespace

ViberDatabase::ViberDatabase(sqlite3* db)
    : db_(db), statements_(std::make_unique<StatementCache>(db)) {}

ViberDatabase::ViberDatabase(ViberDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), statements_(std::move(other.statements_)) {}

ViberDatabase& ViberDatabase::operator=(ViberDatabase&& other) noexcept {
  if (this != &other) {
    statements_.reset();
    if (db_) sqlite3_close(db_);
    db_ = std::exchange(other.db_, nullptr);
    statements_ = std::move(other.statements_);
  }
  return *this;
}

ViberDatabase::~ViberDatabase() {
  statements_.reset();  // statements go before the connection they belong to
  if (db_) sqlite3_close(db_);
}

ViberDatabase ViberDatabase::create(const fs::path& file) {
  std::error_code ec;
  if (fs::exists(file, ec)) throw Error("Viber database: " + file.string() + " already exists");
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  sqlite3* raw = openConnection(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ViberDatabase db(raw);
  exec(raw, "PRAGMA journal_mode=WAL");
  db.transaction([&] {
    exec(raw, kSchema);
    sqlite3_stmt* s = db.statements_->get(
        "INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, Z_MAX) VALUES (?1, ?2, 0, 0)");
    for (auto& e : kEntities) {
      sqlite3_bind_int(s, 1, static_cast<int>(e.entity));
      sqlite3_bind_text(s, 2, e.name, -1, SQLITE_STATIC);
      run(raw, s);
    }
    std::string uuid = foundation::newUUID();
    foundation::Bytes plist = foundation::serializePropertyList(
        Value(metadataPlist(uuid)), foundation::PropertyListFormat::Binary);
    s = db.statements_->get(
        "INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_PLIST) VALUES (1, ?1, ?2)");
    sqlite3_bind_text(s, 1, uuid.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 2, plist.data(), static_cast<int>(plist.size()), SQLITE_TRANSIENT);
    run(raw, s);
  });
  return db;
}

ViberDatabase ViberDatabase::open(const fs::path& file, int busyTimeoutMs) {
  std::error_code ec;
  if (!fs::exists(file, ec)) throw Error("Viber database: no database at " + file.string());
  ViberDatabase db(openConnection(file, SQLITE_OPEN_READWRITE));
  sqlite3_busy_timeout(db.db_, busyTimeoutMs);
  exec(db.db_, "PRAGMA journal_mode=WAL");
  return db;
}

StoreMetadata ViberDatabase::metadata() const {
  sqlite3_stmt* s = statements_->get("SELECT Z_UUID, Z_PLIST FROM Z_METADATA WHERE Z_VERSION = 1");
  if (!nextRow(db_, s)) throw Error("Viber database: the store has no metadata");
  StoreMetadata m;
  m.uuid = columnText(s, 0).value_or("");
  const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 1));
  auto plist = foundation::parsePropertyList(
      std::span<const std::uint8_t>(blob, static_cast<std::size_t>(sqlite3_column_bytes(s, 1))));
  sqlite3_reset(s);
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

std::int64_t ViberDatabase::nextKey(Entity entity) {
  sqlite3_stmt* s = statements_->get(
      "UPDATE Z_PRIMARYKEY SET Z_MAX = Z_MAX + 1 WHERE Z_ENT = ?1 RETURNING Z_MAX");
  sqlite3_bind_int(s, 1, static_cast<int>(entity));
  if (!nextRow(db_, s)) throw Error("Viber database: no primary-key row for an entity");
  std::int64_t key = sqlite3_column_int64(s, 0);
  while (nextRow(db_, s)) {
  }
  return key;
}

std::int64_t ViberDatabase::nextToken() {
  sqlite3_stmt* s = statements_->get("SELECT MAX(ZTOKEN) FROM ZVIBERMESSAGE");
  std::int64_t token = 0;
  if (nextRow(db_, s)) token = columnInt(s, 0).value_or(0);
  sqlite3_reset(s);
  return token + 1;
}

std::int64_t ViberDatabase::addContact(const std::optional<std::string>& mainName,
                                       const std::optional<std::string>& suffixName) {
  std::int64_t pk = nextKey(Entity::ABContact);
  sqlite3_stmt* s = statements_->get(
      "INSERT INTO ZABCONTACT (Z_PK, Z_ENT, Z_OPT, ZABID, ZMAINNAME, ZSUFFIXNAME, ZSORTNAME) "
      "VALUES (?1, ?2, 1, ?1, ?3, ?4, COALESCE(?4, ?3))");
  sqlite3_bind_int64(s, 1, pk);
  sqlite3_bind_int(s, 2, static_cast<int>(Entity::ABContact));
  bindText(s, 3, mainName);
  bindText(s, 4, suffixName);
  run(db_, s);
  return pk;
}

std::int64_t ViberDatabase::addPhoneNumber(const std::string& number,
                                           std::optional<std::int64_t> contact) {
  std::int64_t pk = nextKey(Entity::PhoneNumberIndex);
  sqlite3_stmt* s = statements_->get(
      "INSERT INTO ZPHONENUMBERINDEX (Z_PK, Z_ENT, Z_OPT, ZCONTACT, ZPHONENUM, ZISVIBER) "
      "VALUES (?1, ?2, 1, ?3, ?4, 1)");
  sqlite3_bind_int64(s, 1, pk);
  sqlite3_bind_int(s, 2, static_cast<int>(Entity::PhoneNumberIndex));
  bindInt(s, 3, contact);
  bindText(s, 4, number);
  run(db_, s);
  return pk;
}

std::int64_t ViberDatabase::addConversation(const NewConversation& c) {
  std::int64_t pk = nextKey(Entity::Conversation);
  sqlite3_stmt* s = statements_->get(
      "INSERT INTO ZCONVERSATION (Z_PK, Z_ENT, Z_OPT, ZGROUPID, ZNAME, ZDATE, ZUNREADCOUNT, "
      "ZMUTED) VALUES (?1, ?2, 1, ?3, ?4, NULL, 0, 0)");
  sqlite3_bind_int64(s, 1, pk);
  sqlite3_bind_int(s, 2, static_cast<int>(Entity::Conversation));
  bindText(s, 3, c.groupId);
  bindText(s, 4, c.name);
  run(db_, s);
  sqlite3_stmt* link = statements_->get(
      "INSERT OR IGNORE INTO Z_4PHONENUMINDEXES (Z_4CONVERSATIONS, Z_8PHONENUMINDEXES) "
      "VALUES (?1, ?2)");
  for (std::int64_t member : c.phoneNumIndexes) {
    sqlite3_reset(link);
    sqlite3_bind_int64(link, 1, pk);
    sqlite3_bind_int64(link, 2, member);
    run(db_, link);
  }
  return pk;
}

std::int64_t ViberDatabase::insertMessage(const NewMessage& m) {
  sqlite3_stmt* known = statements_->get("SELECT 1 FROM ZCONVERSATION WHERE Z_PK = ?1");
  sqlite3_bind_int64(known, 1, m.conversation);
  bool exists = nextRow(db_, known);
  sqlite3_reset(known);
  if (!exists) {
    throw Error("Viber database: no conversation " + std::to_string(m.conversation));
  }
  std::int64_t pk = nextKey(Entity::ViberMessage);
  std::int64_t token = m.token ? *m.token : nextToken();
  std::optional<std::int64_t> attachment;
  if (m.attachmentName) attachment = nextKey(Entity::Attachment);
  std::string state = !m.state.empty()  ? m.state
                      : m.phoneNumIndex ? kStateReceived
                                        : kStateDelivered;

  sqlite3_stmt* s = statements_->get(
      "INSERT INTO ZVIBERMESSAGE (Z_PK, Z_ENT, Z_OPT, ZCONVERSATION, ZPHONENUMINDEX, "
      "ZATTACHMENT, ZLOCATION, ZTOKEN, ZSEQ, ZREAD, ZDATE, ZTEXT, ZTYPE, ZSTATE) "
      "VALUES (?1, ?2, 1, ?3, ?4, ?5, NULL, ?6, ?1, ?7, ?8, ?9, ?10, ?11)");
  sqlite3_bind_int64(s, 1, pk);
  sqlite3_bind_int(s, 2, static_cast<int>(Entity::ViberMessage));
  sqlite3_bind_int64(s, 3, m.conversation);
  bindInt(s, 4, m.phoneNumIndex);
  bindInt(s, 5, attachment);
  sqlite3_bind_int64(s, 6, token);
  sqlite3_bind_int(s, 7, m.read ? 1 : 0);
  sqlite3_bind_double(s, 8, m.date.sinceReferenceDate);
  bindText(s, 9, m.text);
  bindText(s, 10, m.type);
  bindText(s, 11, state);
  run(db_, s);

  if (attachment) {
    sqlite3_stmt* a = statements_->get(
        "INSERT INTO ZATTACHMENT (Z_PK, Z_ENT, Z_OPT, ZMESSAGE, ZNAME, ZTYPE, ZSIZE) "
        "VALUES (?1, ?2, 1, ?3, ?4, ?5, 0)");
    sqlite3_bind_int64(a, 1, *attachment);
    sqlite3_bind_int(a, 2, static_cast<int>(Entity::Attachment));
    sqlite3_bind_int64(a, 3, pk);
    bindText(a, 4, m.attachmentName);
    bindText(a, 5, m.type);
    run(db_, a);
  }

  sqlite3_stmt* c = statements_->get(
      "UPDATE ZCONVERSATION SET Z_OPT = Z_OPT + 1, ZDATE = MAX(COALESCE(ZDATE, ?2), ?2), "
      "ZUNREADCOUNT = ZUNREADCOUNT + ?3 WHERE Z_PK = ?1");
  sqlite3_bind_int64(c, 1, m.conversation);
  sqlite3_bind_double(c, 2, m.date.sinceReferenceDate);
  sqlite3_bind_int(c, 3, (m.phoneNumIndex && !m.read) ? 1 : 0);
  run(db_, c);
  return pk;
}

void ViberDatabase::setMessageState(std::int64_t message, const std::string& state) {
  sqlite3_stmt* s =
      statements_->get("UPDATE ZVIBERMESSAGE SET ZSTATE = ?2, Z_OPT = Z_OPT + 1 WHERE Z_PK = ?1");
  sqlite3_bind_int64(s, 1, message);
  bindText(s, 2, state);
  run(db_, s);
}

std::optional<ConversationInfo> ViberDatabase::conversation(std::int64_t pk) const {
  sqlite3_stmt* s = statements_->get("SELECT ZGROUPID, ZNAME FROM ZCONVERSATION WHERE Z_PK = ?1");
  sqlite3_bind_int64(s, 1, pk);
  if (!nextRow(db_, s)) return std::nullopt;
  ConversationInfo info;
  info.pk = pk;
  info.groupId = columnText(s, 0);
  info.name = columnText(s, 1);
  sqlite3_reset(s);
  sqlite3_stmt* m = statements_->get(
      "SELECT P.Z_PK, P.ZPHONENUM FROM Z_4PHONENUMINDEXES AS J JOIN ZPHONENUMBERINDEX AS P "
      "ON P.Z_PK = J.Z_8PHONENUMINDEXES WHERE J.Z_4CONVERSATIONS = ?1 ORDER BY P.Z_PK");
  sqlite3_bind_int64(m, 1, pk);
  while (nextRow(db_, m)) {
    info.phoneNumIndexes.push_back(sqlite3_column_int64(m, 0));
    info.phoneNumbers.push_back(columnText(m, 1).value_or(""));
  }
  return info;
}

std::optional<std::int64_t> ViberDatabase::phoneNumberIndex(std::string_view number) const {
  sqlite3_stmt* s = statements_->get(
      "SELECT Z_PK FROM ZPHONENUMBERINDEX WHERE ZPHONENUM = ?1 ORDER BY Z_PK LIMIT 1");
  sqlite3_bind_text(s, 1, number.data(), static_cast<int>(number.size()), SQLITE_TRANSIENT);
  if (!nextRow(db_, s)) return std::nullopt;
  std::int64_t pk = sqlite3_column_int64(s, 0);
  sqlite3_reset(s);
  return pk;
}

std::vector<StoredMessage> ViberDatabase::messages(std::int64_t conversation) const {
  static const std::string sql =
      std::string(kMessageColumns) + "WHERE M.ZCONVERSATION = ?1 ORDER BY M.ZDATE, M.Z_PK";
  sqlite3_stmt* s = statements_->get(sql.c_str());
  sqlite3_bind_int64(s, 1, conversation);
  std::vector<StoredMessage> out;
  while (nextRow(db_, s)) out.push_back(readMessage(s));
  return out;
}

std::optional<StoredMessage> ViberDatabase::message(std::int64_t pk) const {
  static const std::string sql = std::string(kMessageColumns) + "WHERE M.Z_PK = ?1";
  sqlite3_stmt* s = statements_->get(sql.c_str());
  sqlite3_bind_int64(s, 1, pk);
  if (!nextRow(db_, s)) return std::nullopt;
  StoredMessage m = readMessage(s);
  sqlite3_reset(s);
  return m;
}

std::optional<StoredMessage> ViberDatabase::messageWithAttachment(std::string_view name) const {
  static const std::string sql =
      std::string(kMessageColumns) + "WHERE A.ZNAME = ?1 ORDER BY M.Z_PK DESC LIMIT 1";
  sqlite3_stmt* s = statements_->get(sql.c_str());
  sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  if (!nextRow(db_, s)) return std::nullopt;
  StoredMessage m = readMessage(s);
  sqlite3_reset(s);
  return m;
}

std::int64_t ViberDatabase::countRows(std::string_view table) const {
  std::string sql = "SELECT COUNT(*) FROM \"" + std::string(table) + "\"";
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
  if (rc != SQLITE_OK) throw sqliteError(db_, rc, "counting " + std::string(table));
  std::int64_t n = 0;
  if (sqlite3_step(s) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  return n;
}

void ViberDatabase::transaction(const std::function<void()>& work) {
  exec(db_, "BEGIN IMMEDIATE");
  try {
    work();
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  exec(db_, "COMMIT");
}

void ViberDatabase::execute(std::string_view sql) { exec(db_, sql); }

Date now() {
  using namespace std::chrono;
  double unix = duration<double>(system_clock::now().time_since_epoch()).count();
  return Date::fromUnix(unix);
}

}  // namespace platform::viberdb
