// Read-only access to Viber's database for one call of the conversation lookup
// or the history fetch: the path, the file checks, the open, the statement and
// the text of a column, each with the log lines that both operations share.
//
// Every value reaches a statement as a bound parameter, never as SQL text, so a
// quote in a phone number or group is just a character that matches nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tweak {

// "%@/Documents/Contacts.data" filled with viberAppPath() ("(null)" when nil).
std::string viberDatabasePath();

// One read-only connection, closed when the object goes.
class ViberDatabaseReader {
 public:
  // Checks that the file at the device path `path` exists and is readable and
  // opens it read-only. On failure it logs the one always-written line ("%@
  // Failed to find user's DB!", "%@ DB file is not readable!" or "%@ unable to
  // open database! error Code: %d"), closes what the open gave back and answers
  // nullopt.
  static std::optional<ViberDatabaseReader> open(const std::string& path);

  ViberDatabaseReader(ViberDatabaseReader&& other) noexcept;
  ViberDatabaseReader& operator=(ViberDatabaseReader&&) = delete;
  ViberDatabaseReader(const ViberDatabaseReader&) = delete;
  ~ViberDatabaseReader();

  sqlite3* handle() const { return db_; }

 private:
  explicit ViberDatabaseReader(sqlite3* db) : db_(db) {}
  sqlite3* db_;
};

// A parameter: SQL NULL, text or an integer.
using SqlValue = std::variant<std::monostate, std::string, std::int64_t>;

// A prepared statement with its parameters bound, finalized when it goes.
class BoundStatement {
 public:
  // Prepares `sql` (whole string) and binds `parameters` to ?1, ?2...; on a
  // failed prepare it logs "%@ Failed to retrieve table, error Code: %d" and
  // answers nullopt. With debugMode on, logs "%@ SQL string: %@" with the
  // statement, values filled in, first: also when it then fails to prepare.
  static std::optional<BoundStatement> prepare(sqlite3* db, const std::string& sql,
                                               const std::vector<SqlValue>& parameters);

  BoundStatement(BoundStatement&& other) noexcept;
  BoundStatement& operator=(BoundStatement&&) = delete;
  BoundStatement(const BoundStatement&) = delete;
  ~BoundStatement();

  // sqlite3_step: true while it answers a row. Busy, locked and every error end
  // the rows without a line of their own.
  bool step();

  // The column's UTF-8 text: "" for NULL, nullopt for bytes that are not
  // valid UTF-8.
  std::optional<std::string> text(int column) const;

 private:
  explicit BoundStatement(sqlite3_stmt* s) : stmt_(s) {}
  sqlite3_stmt* stmt_;
};

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace tweak
