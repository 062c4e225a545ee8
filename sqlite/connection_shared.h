// What a connection shares with its statements. Private to sqlite/.
#pragma once

#include <sqlite3.h>

#include "sqlite/connection.h"

namespace sqlite {

struct Connection::Shared {
  sqlite3* db = nullptr;
  Calls* calls = nullptr;
  FailureHandler onFailure;
  int openCode = SQLITE_OK;
  std::string openMessage;

  // SQLite's words for `code`: the connection's message when the library set
  // it for this failure, the code's generic text when a double answered it.
  std::string messageFor(int code) const {
    if (db && sqlite3_errcode(db) == code) return sqlite3_errmsg(db);
    return sqlite3_errstr(code);
  }

  // Hands the failure to the handler, if there is one; the caller has cleaned up.
  void fail(int code, std::string what) const {
    if (onFailure) onFailure(Failure{code, std::move(what), messageFor(code)});
  }
};

}  // namespace sqlite
