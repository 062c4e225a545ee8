#include "tweak/bridge/message_store.h"

#include <sqlite3.h>

#include <variant>
#include <vector>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "tweak/bridge/conversation_store.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

namespace {

// The messenger may be writing; a reader in WAL mode rarely waits, and never long.
constexpr int kBusyTimeoutMs = 1000;

using Parameter = std::variant<std::int64_t, std::string>;

// One row of a statement: the integer and the text of its first two columns.
struct Row {
  std::int64_t first = 0;
  std::optional<std::string> second;
};

class SqliteMessageStore final : public MessageStore {
 public:
  explicit SqliteMessageStore(sqlite3* db) : db_(db) {}
  ~SqliteMessageStore() override { sqlite3_close(db_); }

  std::optional<std::int64_t> lastMessageKey() override {
    auto row = query("SELECT COALESCE(MAX(Z_PK), 0) FROM ZVIBERMESSAGE", {});
    return row ? std::optional<std::int64_t>(row->first) : std::nullopt;
  }

  std::optional<std::int64_t> outgoingText(std::int64_t conversation, const std::string& text,
                                           std::int64_t afterKey) override {
    auto row = query(
        "SELECT Z_PK FROM ZVIBERMESSAGE WHERE ZCONVERSATION = ?1 AND ZPHONENUMINDEX IS NULL "
        "AND ZTEXT = ?2 AND Z_PK > ?3 ORDER BY Z_PK LIMIT 1",
        {conversation, text, afterKey});
    return row ? std::optional<std::int64_t>(row->first) : std::nullopt;
  }

  std::optional<StoredPicture> outgoingPicture(std::int64_t conversation,
                                               const std::string& name) override {
    auto row = query(
        "SELECT M.Z_PK, M.ZSTATE FROM ZVIBERMESSAGE AS M JOIN ZATTACHMENT AS A ON A.Z_PK = "
        "M.ZATTACHMENT WHERE M.ZCONVERSATION = ?1 AND A.ZNAME = ?2 AND M.ZPHONENUMINDEX IS NULL "
        "ORDER BY M.Z_PK DESC LIMIT 1",
        {conversation, name});
    if (!row) return std::nullopt;
    return StoredPicture{row->first, row->second != viber::kPendingMessageState};
  }

 private:
  // The first row of `sql`; nullopt for no row and for any failure (a busy or
  // damaged database reads as "not there": the request is tried again).
  std::optional<Row> query(const char* sql, const std::vector<Parameter>& parameters) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
      platform::foundation::NSLog("PXVIBER: unable to read Viber's messages: {}",
                                  sqlite3_errmsg(db_));
      sqlite3_finalize(s);
      return std::nullopt;
    }
    for (int i = 0; i < static_cast<int>(parameters.size()); ++i) bind(s, i + 1, parameters[i]);
    std::optional<Row> row;
    if (sqlite3_step(s) == SQLITE_ROW) {
      row = Row{sqlite3_column_int64(s, 0), std::nullopt};
      if (sqlite3_column_count(s) > 1 && sqlite3_column_type(s, 1) != SQLITE_NULL) {
        row->second = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
      }
    }
    sqlite3_finalize(s);
    return row;
  }

  static void bind(sqlite3_stmt* s, int index, const Parameter& p) {
    if (const auto* i = std::get_if<std::int64_t>(&p)) {
      sqlite3_bind_int64(s, index, *i);
    } else {
      const auto& text = std::get<std::string>(p);
      sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
  }

  sqlite3* db_;
};

std::unique_ptr<MessageStore> openStoreFile(platform::messenger::DBManager& manager) {
  auto store = conversationStore(manager);
  auto path = store && store->URL() ? store->URL()->path() : std::nullopt;
  if (!path) return nullptr;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path->c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    platform::foundation::NSLog("PXVIBER: unable to open Viber's messages at {}", *path);
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  return std::make_unique<SqliteMessageStore>(db);
}

MessageStoreOpener& openerSlot() {
  static MessageStoreOpener opener;
  return opener;
}

}  // namespace

std::unique_ptr<MessageStore> openMessageStore(platform::messenger::DBManager& manager) {
  if (openerSlot()) return openerSlot()(manager);
  return openStoreFile(manager);
}

void setMessageStoreOpenerForTesting(MessageStoreOpener opener) {
  openerSlot() = std::move(opener);
}

}  // namespace tweak
