// A new Viber database: the tables as Core Data lays them out, the entity
// rows of Z_PRIMARYKEY and the store's metadata.
#include <iterator>

#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/uuid.h"
#include "platform/viberdb/statement_cache.h"
#include "platform/viberdb/viber_database.h"

namespace platform::viberdb {

namespace fs = std::filesystem;
using foundation::Data;
using foundation::Dictionary;
using foundation::Value;

namespace {

constexpr Entity kEntities[] = {
    Entity::ABContact,    Entity::Attachment,       Entity::Call,
    Entity::Conversation, Entity::Location,         Entity::Participant,
    Entity::PhoneNumber,  Entity::PhoneNumberIndex, Entity::ViberMessage,
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
  for (Entity e : kEntities) hashes[entityName(e)] = Value(versionHash(entityName(e)));
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

const char* entityName(Entity entity) {
  // By the entity's number in a new store, from 1.
  static constexpr const char* kNames[] = {"ABContact",    "Attachment",       "Call",
                                           "Conversation", "Location",         "Participant",
                                           "PhoneNumber",  "PhoneNumberIndex", "ViberMessage"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(Entity::ViberMessage));
  auto number = static_cast<std::size_t>(entity);
  return number >= 1 && number <= std::size(kNames) ? kNames[number - 1] : "";
}

ViberDatabase ViberDatabase::create(const fs::path& file) {
  std::error_code ec;
  if (fs::exists(file, ec)) throw Error("Viber database: " + file.string() + " already exists");
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  ViberDatabase db(std::make_unique<StatementCache>(openConnection(file, /*create=*/true)));
  db.execute("PRAGMA journal_mode=WAL");
  db.transaction([&] {
    db.execute(kSchema);
    sqlite::Statement& s = db.statements_->get(
        "INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, Z_MAX) VALUES (?1, ?2, 0, 0)");
    for (Entity e : kEntities) {
      s.bind(1, static_cast<int>(e)).bind(2, entityName(e)).run();
    }
    std::string uuid = foundation::newUUID();
    foundation::Bytes plist = foundation::serializePropertyList(
        Value(metadataPlist(uuid)), foundation::PropertyListFormat::Binary);
    db.statements_->get("INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_PLIST) VALUES (1, ?1, ?2)")
        .bind(1, uuid)
        .bindBlob(2, plist)
        .run();
  });
  db.loadEntityNumbers();
  return db;
}

}  // namespace platform::viberdb
