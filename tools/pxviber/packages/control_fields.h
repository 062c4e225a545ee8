// The text format of Debian's control files and of the package database's
// status file: stanzas of "Name: value" fields, a value continued on lines that
// begin with a blank, stanzas separated by empty lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pxviber::packages {

// One stanza's fields, in their order. A continued value keeps its line breaks
// and the leading blank of each continuation line.
using ControlFields = std::vector<std::pair<std::string, std::string>>;

// The stanzas of `text`. Throws platform::Error naming the line when a line is
// neither a field, a continuation nor empty.
std::vector<ControlFields> parseStanzas(std::string_view text);

// `fields` as text, ending with a line break.
std::string formatStanza(const ControlFields& fields);

// The value of the field `name` (compared without regard to case); nullopt when
// the stanza has none.
std::optional<std::string> fieldOf(const ControlFields& fields, std::string_view name);

// Sets `name` to `value`, in place when present, else at the end.
void setField(ControlFields& fields, const std::string& name, const std::string& value);

}  // namespace pxviber::packages
