// A test double of the SQLite calls: the `n`-th call (from 1) of one operation
// answers `code` (SQLITE_BUSY, SQLITE_LOCKED, SQLITE_IOERR, SQLITE_FULL...)
// without reaching SQLite, as a busy or damaged database would; every other
// call goes through to the library.
#pragma once

#include <sqlite3.h>

#include "sqlite/sqlite_calls.h"

namespace sqlite::testing {

class FailingCalls final : public CallsWrapper {
 public:
  enum class Which { Open, Prepare, Step, Exec };
  FailingCalls(Which which, int n, int code)
      : CallsWrapper(systemCalls()), which_(which), left_(n), code_(code) {}

  int open(const char* path, int flags, sqlite3** db) override {
    return fails(Which::Open) ? code_ : CallsWrapper::open(path, flags, db);
  }
  int prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement) override {
    return fails(Which::Prepare) ? code_ : CallsWrapper::prepare(db, sql, statement);
  }
  int step(sqlite3_stmt* statement) override {
    return fails(Which::Step) ? code_ : CallsWrapper::step(statement);
  }
  int exec(sqlite3* db, const char* sql) override {
    return fails(Which::Exec) ? code_ : CallsWrapper::exec(db, sql);
  }

 private:
  bool fails(Which which) { return which == which_ && --left_ == 0; }
  Which which_;
  int left_;
  int code_;
};

}  // namespace sqlite::testing
