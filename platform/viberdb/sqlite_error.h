// The one place that turns SQLite failures into platform::Error: every
// connection of the simulated database is opened with throwSqliteError as its
// failure handler, so each failed call throws, naming what it attempted.
#pragma once

#include <filesystem>

#include "platform/foundation/error.h"
#include "sqlite/connection.h"

namespace platform::viberdb {

// "Viber database: <what>: <SQLite's message> (code N)".
Error sqliteError(const sqlite::Failure& failure);

// Throws sqliteError(failure).
[[noreturn]] void throwSqliteError(const sqlite::Failure& failure);

// Opens the database file at `file` with `flags` (SQLITE_OPEN_*), every later
// failure of the connection thrown; throws when it cannot be opened.
sqlite::Connection openThrowing(const std::filesystem::path& file, int flags);

}  // namespace platform::viberdb
