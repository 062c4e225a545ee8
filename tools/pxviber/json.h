// JSON text of property-list values, for the command line's --json output.
// Strings are escaped (UTF-8 passes through); data prints as hex text, dates as
// ISO 8601 UTC, null and keyed-archive references as null.
#pragma once

#include <string>

#include "platform/foundation/value.h"

namespace pxviber {

std::string toJson(const platform::foundation::Value& value);
std::string jsonString(const std::string& text);

}  // namespace pxviber
