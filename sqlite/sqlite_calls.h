// The SQLite calls that touch a database file, behind one narrow port.
//
// Every connection and statement of this wrapper makes its open, prepare, step
// and exec through the Calls it was opened with, and through nothing else, so
// that each of those operations is one place where a test can make it fail:
// derive from CallsWrapper, override the one call, and answer SQLITE_BUSY,
// SQLITE_LOCKED, SQLITE_IOERR or SQLITE_FULL where the library would have
// answered. The other calls a connection makes (binding, reading columns,
// finalizing) work on memory already held and are made directly.
//
// The calls keep the shapes of the library's own functions. Implementations
// hold no state of their own unless a test gives them some; any thread may call
// the library's.
#pragma once

#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite {

class Calls {
 public:
  virtual ~Calls() = default;

  // sqlite3_open_v2 with the default file system. `*db` may be set even when
  // the answer is not SQLITE_OK; the caller closes it then.
  virtual int open(const char* path, int flags, sqlite3** db) = 0;
  // sqlite3_prepare_v2 of the whole of `sql`; `*statement` stays null on failure.
  virtual int prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement) = 0;
  // sqlite3_step: SQLITE_ROW, SQLITE_DONE, or the failure's code.
  virtual int step(sqlite3_stmt* statement) = 0;
  // sqlite3_exec of `sql` (one or more statements, no rows wanted).
  virtual int exec(sqlite3* db, const char* sql) = 0;
};

// The SQLite library itself.
Calls& systemCalls();

// Forwards every call to `target`. A test double derives from it and overrides
// the call it fails; the rest go through untouched.
class CallsWrapper : public Calls {
 public:
  explicit CallsWrapper(Calls& target) : target_(target) {}
  int open(const char* path, int flags, sqlite3** db) override {
    return target_.open(path, flags, db);
  }
  int prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement) override {
    return target_.prepare(db, sql, statement);
  }
  int step(sqlite3_stmt* statement) override { return target_.step(statement); }
  int exec(sqlite3* db, const char* sql) override { return target_.exec(db, sql); }

 private:
  Calls& target_;
};

}  // namespace sqlite
