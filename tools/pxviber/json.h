// JSON text of property-list values, for the command line's --json output.
// Strings pass through as UTF-8, escaped only as JSON requires; bytes that are
// not valid UTF-8 become U+FFFD, so the text is always valid JSON. Data prints
// as hex text, dates as ISO 8601 UTC, null and keyed-archive references as
// null, non-finite reals as null. Dictionary keys come sorted.
#pragma once

#include <string>

#include "platform/foundation/value.h"

namespace pxviber {

std::string toJson(const platform::foundation::Value& value);

// "2016-01-01T10:00:00Z": a date in UTC, whole seconds.
std::string isoDate(const platform::foundation::Date& date);

}  // namespace pxviber
