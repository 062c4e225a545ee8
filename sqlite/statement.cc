#include "sqlite/statement.h"

#include <type_traits>
#include <utility>

#include "sqlite/connection_shared.h"

namespace sqlite {

Statement::Statement(Connection& connection, std::string_view sql)
    : connection_(connection.shared_.get()) {
  if (!connection) {
    code_ = connection.resultCode() != SQLITE_OK ? connection.resultCode() : SQLITE_MISUSE;
    return;
  }
  code_ = connection_->calls->prepare(connection_->db, sql, &statement_);
  if (code_ != SQLITE_OK) {
    sqlite3_finalize(std::exchange(statement_, nullptr));
    connection_->fail(code_, "preparing " + std::string(sql));
  }
}

Statement::Statement(Statement&& other) noexcept
    : connection_(other.connection_),
      statement_(std::exchange(other.statement_, nullptr)),
      code_(other.code_) {}

Statement::~Statement() { sqlite3_finalize(statement_); }

Statement& Statement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

Statement& Statement::bind(int index, const std::optional<std::int64_t>& value) {
  return value ? bind(index, *value) : bindNull(index);
}

Statement& Statement::bind(int index, double value) {
  sqlite3_bind_double(statement_, index, value);
  return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
  return text ? bind(index, std::string_view(*text)) : bindNull(index);
}

Statement& Statement::bindBlob(int index, std::span<const std::uint8_t> bytes) {
  sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()),
                    SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bindNull(int index) {
  sqlite3_bind_null(statement_, index);
  return *this;
}

Statement& Statement::bindAll(const std::vector<Parameter>& parameters) {
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    int index = static_cast<int>(i) + 1;
    std::visit(
        [&](const auto& value) {
          if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) {
            bindNull(index);
          } else {
            bind(index, value);
          }
        },
        parameters[i]);
  }
  return *this;
}

bool Statement::step() {
  if (!statement_) return false;
  code_ = connection_->calls->step(statement_);
  if (code_ == SQLITE_ROW) return true;
  if (code_ == SQLITE_DONE) return false;
  // The message first: the reset may replace it.
  std::string message = connection_->messageFor(code_);
  sqlite3_reset(statement_);
  connection_->fail(code_, "running " + std::string(sqlite3_sql(statement_)), std::move(message));
  return false;
}

void Statement::run() {
  while (step()) {
  }
  reset();
}

void Statement::reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

int Statement::columnCount() const { return sqlite3_column_count(statement_); }

std::int64_t Statement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
  if (isNull(column)) return std::nullopt;
  return integer(column);
}

double Statement::real(int column) const { return sqlite3_column_double(statement_, column); }

bool Statement::isNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::optional<std::string> Statement::text(int column) const {
  // The type is asked only when there is no text: a read of many rows then
  // makes one call fewer per column.
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (!bytes) return isNull(column) ? std::nullopt : std::optional<std::string>(std::string());
  return std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

std::span<const std::uint8_t> Statement::blob(int column) const {
  const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
  return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

std::optional<std::string> Statement::expandedSql() const {
  if (!statement_) return std::nullopt;
  char* expanded = sqlite3_expanded_sql(statement_);
  if (!expanded) return std::nullopt;
  std::string text(expanded);
  sqlite3_free(expanded);
  return text;
}

std::int64_t queryInteger(Connection& connection, std::string_view sql) {
  Statement s(connection, sql);
  return s.step() ? s.integer(0) : 0;
}

std::string queryText(Connection& connection, std::string_view sql) {
  Statement s(connection, sql);
  return s.step() ? s.text(0).value_or("") : std::string();
}

}  // namespace sqlite
