// One SQLite statement of the simulated Viber database: prepared once, bound,
// stepped, read, reset, finalised when it goes. Every failure throws
// platform::Error through the database's one translator (sqlite_error.h),
// naming the statement. Used by the database itself, its generators and the
// simulated messenger; one thread at a time, like its connection.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::viberdb {

class Statement {
 public:
  // Prepares the whole of `sql` on `db`.
  Statement(sqlite3* db, std::string_view sql);
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  // Binds parameter `index` (from 1); nullopt binds NULL.
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, const std::optional<std::int64_t>& value);
  Statement& bind(int index, double value);
  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, const std::string& text) {
    return bind(index, std::string_view(text));
  }
  Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
  Statement& bind(int index, int value) { return bind(index, std::int64_t{value}); }
  Statement& bind(int index, const std::optional<std::string>& text);
  Statement& bindBlob(int index, std::span<const std::uint8_t> bytes);

  // Steps once: true while a row is ready, false when done.
  bool step();
  // Steps a statement that returns no rows (or whose rows are not wanted), then
  // resets it for the next use.
  void run();
  // Back to the start, with the bindings cleared.
  void reset();

  std::int64_t integer(int column) const;
  std::optional<std::int64_t> optionalInteger(int column) const;
  double real(int column) const;
  bool isNull(int column) const;
  // The column's text; nullopt for NULL.
  std::optional<std::string> text(int column) const;
  std::span<const std::uint8_t> blob(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs SQL that returns no rows (several statements allowed).
void execute(sqlite3* db, std::string_view sql);

// The one integer that `sql` answers (its first column of its first row), 0
// when it answers no row.
std::int64_t queryInteger(sqlite3* db, std::string_view sql);
// The same for text; "" for no row or NULL.
std::string queryText(sqlite3* db, std::string_view sql);

}  // namespace platform::viberdb
