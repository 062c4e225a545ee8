// One connection to an SQLite database, and what becomes of its failures.
//
// Every call that can fail (the open, and each statement's prepare and step,
// and execute) answers its failure as a value: an unopened connection, an
// unprepared statement, a step or an execute that answers false, with the
// result code kept. When the connection was opened with a failure handler,
// each failure is also handed to it, after the wrapper has cleaned up (closed
// the handle, reset the statement); a handler that throws makes every failure
// an exception, which is how the simulated device's database reports them.
//
// The file operations go through the Calls the connection was opened with
// (sqlite_calls.h). A connection and its statements are used from one thread
// at a time; statements must go before their connection.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "sqlite/sqlite_calls.h"

namespace sqlite {

// A failed call: SQLite's result code, what was attempted ("opening <path>",
// "preparing <sql>", "running <sql>", "executing <sql>") and SQLite's own
// words for the failure.
struct Failure {
  int code = 0;
  std::string what;
  std::string message;
};

using FailureHandler = std::function<void(const Failure&)>;

class Connection {
 public:
  // Opens the database at `path` with `flags` (SQLITE_OPEN_*). On failure the
  // handle the open gave back is closed and the connection answered is not
  // open: it converts to false, and resultCode() and errorMessage() say why.
  static Connection open(const std::filesystem::path& path, int flags, Calls& calls = systemCalls(),
                         FailureHandler onFailure = nullptr);

  Connection(Connection&& other) noexcept;
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  explicit operator bool() const;
  // The open's result code: SQLITE_OK for an open connection.
  int resultCode() const;
  // SQLite's words for the latest failure of the connection or of one of its
  // statements ("not an error" before the first).
  std::string errorMessage() const;

  // How long a call waits for a lock another connection holds.
  void setBusyTimeout(int milliseconds);
  // Whether the main database can only be read.
  bool isReadOnly() const;
  // Runs SQL that returns no rows (several statements allowed); false on failure.
  bool execute(std::string_view sql);

  // The library's handle, for what this wrapper does not offer.
  sqlite3* handle() const;

 private:
  friend class Statement;
  // Held on the heap: statements point at it, and it stays put when the
  // connection object moves.
  struct Shared;
  explicit Connection(std::unique_ptr<Shared> shared);
  std::unique_ptr<Shared> shared_;
};

}  // namespace sqlite
