#include "tweak/extension/database_access.h"

#include <sqlite3.h>

#include <charconv>
#include <utility>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "tweak/core/application_location.h"
#include "tweak/core/preferences.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

using platform::foundation::NSLog;

std::string viberDatabasePath() {
  return platform::foundation::describe(viberAppPath()) + "/" + viber::kDatabaseFile;
}

std::optional<ViberDatabaseReader> ViberDatabaseReader::open(const std::string& path) {
  std::filesystem::path file = platform::foundation::hostPath(path);
  if (!platform::foundation::fileExistsAtPath(file)) {
    NSLog("PXVIBER: Failed to find user's DB!");
    return std::nullopt;
  }
  if (!platform::foundation::isReadableFileAtPath(file)) {
    NSLog("PXVIBER: DB file is not readable!");
    return std::nullopt;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  if (rc != SQLITE_OK) {
    NSLog("PXVIBER: unable to open database! error Code: {}", rc);
    sqlite3_close(db);
    return std::nullopt;
  }
  return ViberDatabaseReader(db);
}

ViberDatabaseReader::ViberDatabaseReader(ViberDatabaseReader&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

ViberDatabaseReader::~ViberDatabaseReader() {
  if (db_) sqlite3_close(db_);
}

namespace {

// A parameter as SQL text, the way sqlite3_expanded_sql() writes it.
std::string literal(const SqlValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  const auto* text = std::get_if<std::string>(&value);
  if (!text) return "NULL";
  std::string quoted = "'";
  for (char c : *text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

// The index N of a "?N" at `at` of `sql`, and `end` just past it; 0 when none.
std::size_t parameterAt(const std::string& sql, std::size_t at, std::size_t& end) {
  std::size_t n = 0;
  end = at + 1;
  if (sql[at] != '?') return 0;
  auto [stop, error] = std::from_chars(sql.data() + end, sql.data() + sql.size(), n);
  end = static_cast<std::size_t>(stop - sql.data());
  return error == std::errc() ? n : 0;
}

// The statement with each "?N" outside quoted text replaced by parameter N: for
// a statement that did not prepare, which SQLite cannot expand.
std::string filledIn(const std::string& sql, const std::vector<SqlValue>& parameters) {
  std::string out;
  bool quoted = false;
  for (std::size_t i = 0, end = 0; i < sql.size(); i = end) {
    std::size_t n = quoted ? 0 : parameterAt(sql, i, end);
    if (n == 0 || n > parameters.size()) {
      quoted ^= sql[i] == '\'';
      out += sql[i];
      end = i + 1;
    } else {
      out += literal(parameters[n - 1]);
    }
  }
  return out;
}

void bindAll(sqlite3_stmt* s, const std::vector<SqlValue>& parameters) {
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    int index = static_cast<int>(i) + 1;
    if (const auto* text = std::get_if<std::string>(&parameters[i])) {
      sqlite3_bind_text(s, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* number = std::get_if<std::int64_t>(&parameters[i])) {
      sqlite3_bind_int64(s, index, *number);
    } else {
      sqlite3_bind_null(s, index);
    }
  }
}

}  // namespace

std::optional<BoundStatement> BoundStatement::prepare(sqlite3* db, const std::string& sql,
                                                      const std::vector<SqlValue>& parameters) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
  if (rc != SQLITE_OK) {
    // The statement is named before the failure, as for one that prepares.
    if (settings().debugMode) NSLog("PXVIBER: SQL string: {}", filledIn(sql, parameters));
    NSLog("PXVIBER: Failed to retrieve table, error Code: {}", rc);
    sqlite3_finalize(s);
    return std::nullopt;
  }
  BoundStatement statement(s);
  bindAll(s, parameters);
  if (settings().debugMode) {
    char* expanded = sqlite3_expanded_sql(s);
    NSLog("PXVIBER: SQL string: {}", expanded ? expanded : filledIn(sql, parameters));
    sqlite3_free(expanded);
  }
  return statement;
}

BoundStatement::BoundStatement(BoundStatement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)) {}

BoundStatement::~BoundStatement() {
  if (stmt_) sqlite3_finalize(stmt_);
}

bool BoundStatement::step() { return sqlite3_step(stmt_) == SQLITE_ROW; }

std::optional<std::string> BoundStatement::text(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  if (!t) return std::string();
  std::string bytes(reinterpret_cast<const char*>(t),
                    static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
  if (!isValidUtf8(bytes)) return std::nullopt;
  return bytes;
}

bool isValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t extra;
    std::uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;  // the sequence is cut short
    for (std::size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace tweak
