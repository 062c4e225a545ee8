// The prepared statements of one ViberDatabase connection, kept for its life so
// that the generators and the messenger's repeated writes prepare each text
// once. Private to platform/viberdb.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/viberdb/sqlite_statement.h"
#include "platform/viberdb/viber_database.h"

namespace platform::viberdb {

class ViberDatabase::StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}
  // The statement for `sql`, reset and with its bindings cleared.
  Statement& get(std::string_view sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
      it = statements_.emplace(std::string(sql), Statement(db_, sql)).first;
    } else {
      it->second.reset();
    }
    return it->second;
  }

 private:
  sqlite3* db_;
  std::map<std::string, Statement, std::less<>> statements_;
};

// Every statement that writes the rows of a sent message, prepared by
// requireWritableStore() so that a missing table or column refuses the store.
std::vector<const char*> writeStatements();

// Opens the database file read-write (creating it when asked); throws.
sqlite3* openConnection(const std::filesystem::path& file, bool create);

}  // namespace platform::viberdb
