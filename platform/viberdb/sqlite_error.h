// The one place that turns SQLite result codes into platform::Error.
#pragma once

#include <string>

#include "platform/foundation/error.h"

struct sqlite3;

namespace platform::viberdb {

// "Viber database: <context>: <message> (code N)", with SQLite's message for the
// connection when it has one.
Error sqliteError(sqlite3* db, int rc, const std::string& context);

}  // namespace platform::viberdb
