#include "platform/viberdb/sqlite_error.h"

#include <sqlite3.h>

namespace platform::viberdb {

Error sqliteError(sqlite3* db, int rc, const std::string& context) {
  const char* why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  return Error("Viber database: " + context + ": " + why + " (code " + std::to_string(rc) + ")");
}

}  // namespace platform::viberdb
