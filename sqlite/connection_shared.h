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
  // SQLite's words for the latest failure of the connection or its statements.
  std::string lastMessage = sqlite3_errstr(SQLITE_OK);

  // SQLite's words for `code`: the connection's message when the library set
  // it for this failure, the code's generic text when a double answered it.
  std::string messageFor(int code) const {
    if (db && sqlite3_errcode(db) == code) return sqlite3_errmsg(db);
    return sqlite3_errstr(code);
  }

  // Keeps the failure's message and hands the failure to the handler, if
  // there is one; the caller has cleaned up, or reads the message first.
  void fail(int code, std::string what, std::string message) {
    lastMessage = std::move(message);
    if (onFailure) onFailure(Failure{code, std::move(what), lastMessage});
  }
  void fail(int code, std::string what) { fail(code, std::move(what), messageFor(code)); }
};

}  // namespace sqlite
