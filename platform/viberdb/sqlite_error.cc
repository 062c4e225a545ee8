#include "platform/viberdb/sqlite_error.h"

namespace platform::viberdb {

Error sqliteError(const sqlite::Failure& failure) {
  return Error("Viber database: " + failure.what + ": " + failure.message + " (code " +
               std::to_string(failure.code) + ")");
}

void throwSqliteError(const sqlite::Failure& failure) { throw sqliteError(failure); }

sqlite::Connection openThrowing(const std::filesystem::path& file, int flags) {
  return sqlite::Connection::open(file, flags, sqlite::systemCalls(), throwSqliteError);
}

}  // namespace platform::viberdb
