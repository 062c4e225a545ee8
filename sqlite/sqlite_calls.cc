#include "sqlite/sqlite_calls.h"

#include <sqlite3.h>

namespace sqlite {

namespace {

class SystemCalls final : public Calls {
 public:
  int open(const char* path, int flags, sqlite3** db) override {
    return sqlite3_open_v2(path, db, flags, nullptr);
  }
  int prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement) override {
    return sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), statement, nullptr);
  }
  int step(sqlite3_stmt* statement) override { return sqlite3_step(statement); }
  int exec(sqlite3* db, const char* sql) override {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  }
};

}  // namespace

Calls& systemCalls() {
  // Stateless: one instance serves every connection of the process.
  static SystemCalls calls;
  return calls;
}

}  // namespace sqlite
