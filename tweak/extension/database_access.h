// Read-only access to Viber's database for one call of the conversation lookup
// or the history fetch: the path, the file checks, the open, the statement and
// the text of a column, each with the log lines that both operations share.
//
// Every value reaches a statement as a bound parameter, never as SQL text, so a
// quote in a phone number or group is just a character that matches nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sqlite/statement.h"

namespace tweak {

// "%@/Documents/Contacts.data" filled with viberAppPath() ("(null)" when nil).
std::string viberDatabasePath();

// Checks that the file at the device path `path` exists and is readable and
// opens it read-only, through the process's SQLite calls; the connection
// closes when it goes. On failure it logs the one always-written line ("%@
// Failed to find user's DB!", "%@ DB file is not readable!" or "%@ unable to
// open database! error Code: %d") and answers nullopt.
std::optional<sqlite::Connection> openViberDatabase(const std::string& path);

// Prepares `sql` (whole string) on `db` and binds `parameters` to ?1, ?2...;
// on a failed prepare it logs "%@ Failed to retrieve table, error Code: %d"
// and answers a statement that converts to false. With debugMode on, logs
// "%@ SQL string: %@" with the statement, values filled in, first: also when
// it then fails to prepare. Stepping ends the rows at the first answer that is
// not a row: busy, locked and every error without a line of their own.
sqlite::Statement prepareStatement(sqlite::Connection& db, const std::string& sql,
                                   const std::vector<sqlite::Parameter>& parameters);

// The column's UTF-8 text: "" for NULL, nullopt for bytes that are not valid
// UTF-8.
std::optional<std::string> columnText(const sqlite::Statement& row, int column);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace tweak
