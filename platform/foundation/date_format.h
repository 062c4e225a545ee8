// Dates as text: the fixed pattern "yyyy-MM-dd HH:mm:ss" in the device's
// current time zone (the zone of SQLite's 'localtime' modifier, from TZ), and
// the forms in which dates are printed.
//
// Any thread may call these functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace platform::foundation {

// dateFromString: of a formatter with the pattern "yyyy-MM-dd HH:mm:ss" in the
// current time zone: exactly four digits, "-", two, "-", two, " ", two, ":",
// two, ":", two, forming a valid date and time; nullopt for anything else. A
// wall-clock time that a daylight-saving change repeats reads as its later
// occurrence; one that the change skips reads as an instant next to the change.
std::optional<Date> parseLocalDateTime(std::string_view text);

// The same pattern the other way: the local wall-clock time, whole seconds.
std::string formatLocalDateTime(Date date);

// The date in UTC as "yyyy-MM-dd HH:mm:ss", whole seconds.
std::string formatUtcDateTime(Date date);

// What "%@" prints for a date: "2016-05-01 09:30:00 +0000" (UTC). A nil date
// prints as "(null)".
std::string describeDate(const std::optional<Date>& date);

// ISO 8601 in UTC, whole seconds: "2016-05-01T09:30:00Z".
std::string iso8601Utc(Date date);

// ISO 8601 local time with its offset, whole seconds: "2016-05-01T11:30:00+02:00".
std::string iso8601Local(Date date);

}  // namespace platform::foundation
