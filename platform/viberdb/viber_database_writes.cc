// The writers: contacts, numbers, conversations and messages, each keeping
// Z_PRIMARYKEY.Z_MAX in step as Core Data does.
#include "platform/foundation/error.h"
#include "platform/viberdb/statement_cache.h"
#include "platform/viberdb/viber_database.h"

namespace platform::viberdb {

using sqlite::Statement;

namespace {

constexpr const char* kNextKey =
    "UPDATE Z_PRIMARYKEY SET Z_MAX = Z_MAX + 1 WHERE Z_NAME = ?1 RETURNING Z_MAX";
constexpr const char* kNextToken = "SELECT MAX(ZTOKEN) FROM ZVIBERMESSAGE";
constexpr const char* kKnownConversation = "SELECT 1 FROM ZCONVERSATION WHERE Z_PK = ?1";
constexpr const char* kInsertMessage =
    "INSERT INTO ZVIBERMESSAGE (Z_PK, Z_ENT, Z_OPT, ZCONVERSATION, ZPHONENUMINDEX, "
    "ZATTACHMENT, ZLOCATION, ZTOKEN, ZSEQ, ZREAD, ZDATE, ZTEXT, ZTYPE, ZSTATE) "
    "VALUES (?1, ?2, 1, ?3, ?4, ?5, NULL, ?6, ?1, ?7, ?8, ?9, ?10, ?11)";
constexpr const char* kInsertAttachment =
    "INSERT INTO ZATTACHMENT (Z_PK, Z_ENT, Z_OPT, ZMESSAGE, ZNAME, ZTYPE, ZSIZE) "
    "VALUES (?1, ?2, 1, ?3, ?4, ?5, 0)";
constexpr const char* kTouchConversation =
    "UPDATE ZCONVERSATION SET Z_OPT = Z_OPT + 1, ZDATE = MAX(COALESCE(ZDATE, ?2), ?2), "
    "ZUNREADCOUNT = ZUNREADCOUNT + ?3 WHERE Z_PK = ?1";
constexpr const char* kSetState =
    "UPDATE ZVIBERMESSAGE SET ZSTATE = ?2, Z_OPT = Z_OPT + 1 WHERE Z_PK = ?1";

}  // namespace

std::vector<const char*> writeStatements() {
  return {kNextKey,          kNextToken,         kKnownConversation, kInsertMessage,
          kInsertAttachment, kTouchConversation, kSetState};
}

std::int64_t ViberDatabase::nextKey(Entity entity) {
  Statement& s = statements_->get(kNextKey);
  if (!s.bind(1, entityName(entity)).step()) {
    throw Error(std::string("Viber database: Z_PRIMARYKEY has no entity ") + entityName(entity));
  }
  std::int64_t key = s.integer(0);
  s.run();
  return key;
}

std::int64_t ViberDatabase::nextToken() {
  Statement& s = statements_->get(kNextToken);
  std::int64_t token = s.step() ? s.optionalInteger(0).value_or(0) : 0;
  s.reset();
  return token + 1;
}

std::int64_t ViberDatabase::addContact(const std::optional<std::string>& mainName,
                                       const std::optional<std::string>& suffixName) {
  std::int64_t pk = nextKey(Entity::ABContact);
  statements_
      ->get(
          "INSERT INTO ZABCONTACT (Z_PK, Z_ENT, Z_OPT, ZABID, ZMAINNAME, ZSUFFIXNAME, "
          "ZSORTNAME) VALUES (?1, ?2, 1, ?1, ?3, ?4, COALESCE(?4, ?3))")
      .bind(1, pk)
      .bind(2, entityNumber(Entity::ABContact))
      .bind(3, mainName)
      .bind(4, suffixName)
      .run();
  return pk;
}

std::int64_t ViberDatabase::addPhoneNumber(const std::string& number,
                                           std::optional<std::int64_t> contact) {
  std::int64_t pk = nextKey(Entity::PhoneNumberIndex);
  statements_
      ->get(
          "INSERT INTO ZPHONENUMBERINDEX (Z_PK, Z_ENT, Z_OPT, ZCONTACT, ZPHONENUM, ZISVIBER) "
          "VALUES (?1, ?2, 1, ?3, ?4, 1)")
      .bind(1, pk)
      .bind(2, entityNumber(Entity::PhoneNumberIndex))
      .bind(3, contact)
      .bind(4, number)
      .run();
  return pk;
}

std::int64_t ViberDatabase::addConversation(const NewConversation& c) {
  std::int64_t pk = nextKey(Entity::Conversation);
  statements_
      ->get(
          "INSERT INTO ZCONVERSATION (Z_PK, Z_ENT, Z_OPT, ZGROUPID, ZNAME, ZDATE, "
          "ZUNREADCOUNT, ZMUTED) VALUES (?1, ?2, 1, ?3, ?4, NULL, 0, 0)")
      .bind(1, pk)
      .bind(2, entityNumber(Entity::Conversation))
      .bind(3, c.groupId)
      .bind(4, c.name)
      .run();
  Statement& link = statements_->get(
      "INSERT OR IGNORE INTO Z_4PHONENUMINDEXES (Z_4CONVERSATIONS, Z_8PHONENUMINDEXES) "
      "VALUES (?1, ?2)");
  for (std::int64_t member : c.phoneNumIndexes) link.bind(1, pk).bind(2, member).run();
  return pk;
}

std::int64_t ViberDatabase::insertMessage(const NewMessage& m) {
  Statement& known = statements_->get(kKnownConversation);
  bool exists = known.bind(1, m.conversation).step();
  known.reset();
  if (!exists) throw Error("Viber database: no conversation " + std::to_string(m.conversation));
  std::int64_t pk = nextKey(Entity::ViberMessage);
  std::int64_t token = m.token ? *m.token : nextToken();
  std::optional<std::int64_t> attachment;
  if (m.attachmentName) attachment = nextKey(Entity::Attachment);
  std::string state = !m.state.empty()  ? m.state
                      : m.phoneNumIndex ? kStateReceived
                                        : kStateDelivered;
  statements_->get(kInsertMessage)
      .bind(1, pk)
      .bind(2, entityNumber(Entity::ViberMessage))
      .bind(3, m.conversation)
      .bind(4, m.phoneNumIndex)
      .bind(5, attachment)
      .bind(6, token)
      .bind(7, m.read ? 1 : 0)
      .bind(8, m.date.sinceReferenceDate)
      .bind(9, m.text)
      .bind(10, m.type)
      .bind(11, state)
      .run();
  if (attachment) {
    statements_->get(kInsertAttachment)
        .bind(1, *attachment)
        .bind(2, entityNumber(Entity::Attachment))
        .bind(3, pk)
        .bind(4, m.attachmentName)
        .bind(5, m.type)
        .run();
  }
  statements_->get(kTouchConversation)
      .bind(1, m.conversation)
      .bind(2, m.date.sinceReferenceDate)
      .bind(3, (m.phoneNumIndex && !m.read) ? 1 : 0)
      .run();
  return pk;
}

void ViberDatabase::setMessageState(std::int64_t message, const std::string& state) {
  statements_->get(kSetState).bind(1, message).bind(2, state).run();
}

}  // namespace platform::viberdb
