#include "tweak/extension/database_access.h"

#include <sqlite3.h>

#include <charconv>

#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "tweak/core/application_location.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

using platform::foundation::NSLog;

std::string viberDatabasePath() {
  return platform::foundation::describe(viberAppPath()) + "/" + viber::kDatabaseFile;
}

std::optional<sqlite::Connection> openViberDatabase(const std::string& path) {
  std::filesystem::path file = platform::foundation::hostPath(path);
  FileOperations& files = *processState().files;
  if (!files.fileExists(file)) {
    NSLog("PXVIBER: Failed to find user's DB!");
    return std::nullopt;
  }
  if (!files.isReadableFile(file)) {
    NSLog("PXVIBER: DB file is not readable!");
    return std::nullopt;
  }
  auto db = sqlite::Connection::open(file, SQLITE_OPEN_READONLY, *processState().sqlite);
  if (!db) {
    NSLog("PXVIBER: unable to open database! error Code: {}", db.resultCode());
    return std::nullopt;
  }
  return db;
}

namespace {

// A parameter as SQL text, the way sqlite3_expanded_sql() writes it.
std::string literal(const sqlite::Parameter& value) {
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
std::string filledIn(const std::string& sql, const std::vector<sqlite::Parameter>& parameters) {
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

}  // namespace

sqlite::Statement prepareStatement(sqlite::Connection& db, const std::string& sql,
                                   const std::vector<sqlite::Parameter>& parameters) {
  sqlite::Statement statement(db, sql);
  if (!statement) {
    // The statement is named before the failure, as for one that prepares.
    if (settings().debugMode) NSLog("PXVIBER: SQL string: {}", filledIn(sql, parameters));
    NSLog("PXVIBER: Failed to retrieve table, error Code: {}", statement.resultCode());
    return statement;
  }
  statement.bindAll(parameters);
  if (settings().debugMode) {
    auto expanded = statement.expandedSql();
    NSLog("PXVIBER: SQL string: {}", expanded ? *expanded : filledIn(sql, parameters));
  }
  return statement;
}

std::optional<std::string> columnText(const sqlite::Statement& row, int column) {
  std::optional<std::string> bytes = row.text(column);
  if (!bytes) return std::string();
  if (!isValidUtf8(*bytes)) return std::nullopt;
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
