#include "platform/viberdb/sqlite_statement.h"

#include <sqlite3.h>

#include <utility>

#include "platform/viberdb/sqlite_error.h"

namespace platform::viberdb {

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    throw sqliteError(db, rc, "preparing " + std::string(sql));
  }
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::bind(int index, const std::optional<std::int64_t>& value) {
  return value ? bind(index, *value) : (sqlite3_bind_null(stmt_, index), *this);
}

Statement& Statement::bind(int index, double value) {
  sqlite3_bind_double(stmt_, index, value);
  return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
  return text ? bind(index, std::string_view(*text)) : (sqlite3_bind_null(stmt_, index), *this);
}

Statement& Statement::bindBlob(int index, std::span<const std::uint8_t> bytes) {
  sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  return *this;
}

bool Statement::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  std::string sql = sqlite3_sql(stmt_);
  sqlite3_reset(stmt_);
  throw sqliteError(db_, rc, "running " + sql);
}

void Statement::run() {
  while (step()) {
  }
  reset();
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
  if (isNull(column)) return std::nullopt;
  return integer(column);
}

double Statement::real(int column) const { return sqlite3_column_double(stmt_, column); }

bool Statement::isNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::optional<std::string> Statement::text(int column) const {
  if (isNull(column)) return std::nullopt;
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::span<const std::uint8_t> Statement::blob(int column) const {
  const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  return {p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

void execute(sqlite3* db, std::string_view sql) {
  std::string text(sql);
  char* message = nullptr;
  int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string why = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw Error("Viber database: " + text.substr(0, 80) + ": " + why);
  }
}

std::int64_t queryInteger(sqlite3* db, std::string_view sql) {
  Statement s(db, sql);
  return s.step() ? s.integer(0) : 0;
}

std::string queryText(sqlite3* db, std::string_view sql) {
  Statement s(db, sql);
  return s.step() ? s.text(0).value_or("") : std::string();
}

}  // namespace platform::viberdb
