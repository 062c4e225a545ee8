// The connection of one ViberDatabase and its prepared statements, kept for
// its life so that the generators and the messenger's repeated writes prepare
// each text once. Held on the heap, so the statements keep their connection
// when the database object moves. Private to platform/viberdb.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/viberdb/viber_database.h"
#include "sqlite/statement.h"

namespace platform::viberdb {

class ViberDatabase::StatementCache {
 public:
  explicit StatementCache(sqlite::Connection connection) : connection_(std::move(connection)) {}
  sqlite::Connection& connection() { return connection_; }
  // The statement for `sql`, reset and with its bindings cleared.
  sqlite::Statement& get(std::string_view sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
      it = statements_.emplace(std::string(sql), sqlite::Statement(connection_, sql)).first;
    } else {
      it->second.reset();
    }
    return it->second;
  }

 private:
  // Declared first, so it is closed after every statement is finalized.
  sqlite::Connection connection_;
  std::map<std::string, sqlite::Statement, std::less<>> statements_;
};

// Every statement that writes the rows of a sent message, prepared by
// requireWritableStore() so that a missing table or column refuses the store.
std::vector<const char*> writeStatements();

// Opens the database file read-write (creating it when asked); throws.
sqlite::Connection openConnection(const std::filesystem::path& file, bool create);

}  // namespace platform::viberdb
