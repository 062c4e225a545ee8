// One prepared SQLite statement: bound, stepped, read, reset, finalized when
// it goes. Its prepare and steps go through its connection's Calls, and their
// failures are reported as the connection says (connection.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sqlite/connection.h"

namespace sqlite {

// A parameter's value: SQL NULL, an integer or text.
using Parameter = std::variant<std::monostate, std::int64_t, std::string>;

class Statement {
 public:
  // Prepares the whole of `sql` on `connection`, which must outlive the
  // statement. A statement that did not prepare converts to false; binding,
  // stepping and reading it do nothing.
  Statement(Connection& connection, std::string_view sql);
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  explicit operator bool() const { return statement_ != nullptr; }
  // The result code of the prepare or of the latest step.
  int resultCode() const { return code_; }

  // Binds parameter `index` (from 1); nullopt binds NULL.
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, int value) { return bind(index, std::int64_t{value}); }
  Statement& bind(int index, const std::optional<std::int64_t>& value);
  Statement& bind(int index, double value);
  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, const std::string& text) {
    return bind(index, std::string_view(text));
  }
  Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
  Statement& bind(int index, const std::optional<std::string>& text);
  Statement& bindBlob(int index, std::span<const std::uint8_t> bytes);
  Statement& bindNull(int index);
  // Binds `parameters` to ?1, ?2... in order.
  Statement& bindAll(const std::vector<Parameter>& parameters);

  // Steps once: true while a row is ready; false when done, and false on a
  // failure (busy, locked, an I/O error...), after which the statement is reset
  // and resultCode() names the failure.
  bool step();
  // Steps through every row (none wanted), then resets for the next use.
  void run();
  // Back to the start, with the bindings cleared.
  void reset();

  int columnCount() const;
  std::int64_t integer(int column) const;
  std::optional<std::int64_t> optionalInteger(int column) const;
  double real(int column) const;
  bool isNull(int column) const;
  // The column's bytes as text; nullopt for NULL.
  std::optional<std::string> text(int column) const;
  std::span<const std::uint8_t> blob(int column) const;

  // The statement's text with the bound values written in, as SQLite expands
  // it; nullopt when it cannot (not prepared, no memory).
  std::optional<std::string> expandedSql() const;

 private:
  Connection::Shared* connection_;
  sqlite3_stmt* statement_ = nullptr;
  int code_ = 0;
};

// The one integer that `sql` answers (its first column of its first row); 0
// when it answers no row. A failure goes where the connection sends its
// failures, and then answers 0 too.
std::int64_t queryInteger(Connection& connection, std::string_view sql);
// The same for text; "" for no row, NULL or a failure.
std::string queryText(Connection& connection, std::string_view sql);

}  // namespace sqlite
