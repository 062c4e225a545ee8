#include "tweak/bridge/message_store.h"

#include <sqlite3.h>

#include <vector>

#include "platform/foundation/log.h"
#include "platform/foundation/value.h"
#include "platform/messenger/db_manager.h"
#include "sqlite/statement.h"
#include "tweak/bridge/conversation_store.h"
#include "tweak/core/process_state.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

namespace {

// The messenger may be writing; a reader in WAL mode rarely waits, and never long.
constexpr int kBusyTimeoutMs = 1000;

// One row of a statement: the integer and the text of its first two columns.
struct Row {
  std::int64_t first = 0;
  std::optional<std::string> second;
};

class SqliteMessageStore final : public MessageStore {
 public:
  explicit SqliteMessageStore(sqlite::Connection db) : db_(std::move(db)) {}

  std::optional<std::int64_t> lastMessageKey() override {
    auto answer = query("SELECT COALESCE(MAX(Z_PK), 0) FROM ZVIBERMESSAGE", {});
    if (!answer.readable || !answer.found) return std::nullopt;
    return answer.found->first;
  }

  std::optional<std::int64_t> lastMessageKeyBefore(double unixTime) override {
    // Not indexed by date: read only for a request an earlier messenger took.
    sqlite::Statement s(db_, "SELECT COALESCE(MAX(Z_PK), 0) FROM ZVIBERMESSAGE WHERE ZDATE < ?1");
    if (!s ||
        !s.bind(1, platform::foundation::Date::fromUnix(unixTime).sinceReferenceDate).step()) {
      return std::nullopt;
    }
    return s.integer(0);
  }

  Lookup<std::int64_t> outgoingText(std::int64_t conversation, const std::string& text,
                                    std::int64_t afterKey) override {
    auto answer = query(
        "SELECT Z_PK FROM ZVIBERMESSAGE WHERE ZCONVERSATION = ?1 AND ZPHONENUMINDEX IS NULL "
        "AND ZATTACHMENT IS NULL AND ZTEXT = ?2 AND Z_PK > ?3 ORDER BY Z_PK LIMIT 1",
        {conversation, text, afterKey});
    if (!answer.found) return {answer.readable, std::nullopt};
    return {true, answer.found->first};
  }

  Lookup<StoredPicture> outgoingPicture(std::int64_t conversation, const std::string& name,
                                        std::int64_t afterKey) override {
    auto answer = query(
        "SELECT M.Z_PK, M.ZSTATE FROM ZVIBERMESSAGE AS M JOIN ZATTACHMENT AS A ON A.Z_PK = "
        "M.ZATTACHMENT WHERE M.ZCONVERSATION = ?1 AND A.ZNAME = ?2 AND M.ZPHONENUMINDEX IS NULL "
        "AND M.Z_PK > ?3 ORDER BY M.Z_PK DESC LIMIT 1",
        {conversation, name, afterKey});
    if (!answer.found) return {answer.readable, std::nullopt};
    const Row& row = *answer.found;
    return {true, StoredPicture{row.first, row.second != viber::kPendingMessageState}};
  }

 private:
  // The first row of `sql`, or none; unreadable for any failure of the prepare
  // or the step (a busy, locked or damaged database).
  Lookup<Row> query(const char* sql, const std::vector<sqlite::Parameter>& parameters) {
    sqlite::Statement s(db_, sql);
    if (!s) {
      platform::foundation::NSLog("PXVIBER: unable to read Viber's messages: {}",
                                  db_.errorMessage());
      return {};
    }
    if (s.bindAll(parameters).step()) {
      return {true, Row{s.integer(0), s.columnCount() > 1 ? s.text(1) : std::nullopt}};
    }
    return {s.resultCode() == SQLITE_DONE, std::nullopt};
  }

  sqlite::Connection db_;
};

std::unique_ptr<MessageStore> openStoreFile(platform::messenger::DBManager& manager) {
  auto store = conversationStore(manager);
  auto path = store && store->URL() ? store->URL()->path() : std::nullopt;
  if (!path) return nullptr;
  auto db = sqlite::Connection::open(*path, SQLITE_OPEN_READONLY, *processState().sqlite);
  if (!db) {
    platform::foundation::NSLog("PXVIBER: unable to open Viber's messages at {}", *path);
    return nullptr;
  }
  db.setBusyTimeout(kBusyTimeoutMs);
  return std::make_unique<SqliteMessageStore>(std::move(db));
}

}  // namespace

std::unique_ptr<MessageStore> openMessageStore(platform::messenger::DBManager& manager) {
  if (const auto& opener = processState().openMessageStore) return opener(manager);
  return openStoreFile(manager);
}

}  // namespace tweak
