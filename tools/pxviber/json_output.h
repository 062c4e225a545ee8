// Property-list values as JSON, for the commands' --json output.
#pragma once

#include <string>

#include "platform/foundation/value.h"

namespace pxviber {

// Compact JSON of `value`: dictionaries as objects, arrays as arrays, numbers and
// Booleans as themselves, dates as ISO 8601 UTC text ("2016-01-01T10:00:00Z"),
// data as lower-case hex text, nil as null. Strings are escaped as JSON requires
// and otherwise kept byte for byte (UTF-8 passes through).
std::string toJson(const platform::foundation::Value& value);

}  // namespace pxviber
