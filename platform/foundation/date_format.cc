#include "platform/foundation/date_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>

#include <fmt/format.h>

namespace platform::foundation {

// The build compiles this file with a 64-bit time_t on every processor (glibc's
// _TIME_BITS=64 on 32-bit ones): local time of dates past 2038 depends on it.
// No time_t crosses this file's interface.
static_assert(sizeof(std::time_t) == 8, "date_format.cc needs a 64-bit time_t");

namespace {

// Dates beyond ten thousand years either way print as the nearest of them.
constexpr double kLimit = 1e4 * 365.25 * 86400;

// Whole seconds since 1970 of `date`, within the limit.
std::int64_t wholeUnixSeconds(Date date) {
  double unix = date.unixTime();
  unix = std::isnan(unix) ? 0 : std::clamp(unix, -kLimit, kLimit);
  return static_cast<std::int64_t>(std::floor(unix));
}

bool digits(std::string_view s, std::size_t at, std::size_t n, int& out) {
  out = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

bool leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap(year) ? 29 : kDays[month - 1];
}

std::tm localParts(Date date) {
  std::time_t t = wholeUnixSeconds(date);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The inverse: the civil date of a count of days since 1970-01-01.
void civilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

// "yyyy-MM-dd<sep>HH:mm:ss" of the date in UTC, by arithmetic alone.
std::string utcText(Date date, char separator) {
  std::int64_t t = wholeUnixSeconds(date);
  std::int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  std::int64_t secs = t - days * 86400;
  std::int64_t year;
  int month, day;
  civilFromDays(days, year, month, day);
  return fmt::format("{:04}-{:02}-{:02}{}{:02}:{:02}:{:02}", year, month, day, separator,
                     secs / 3600, secs % 3600 / 60, secs % 60);
}

// The zone's offset from UTC, in seconds, at the Unix time `t`.
std::int64_t offsetAt(std::int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  return tm.tm_gmtoff;
}

}  // namespace

std::optional<Date> parseLocalDateTime(std::string_view s) {
  if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' ||
      s[16] != ':') {
    return std::nullopt;
  }
  int year, month, day, hour, minute, second;
  if (!digits(s, 0, 4, year) || !digits(s, 5, 2, month) || !digits(s, 8, 2, day) ||
      !digits(s, 11, 2, hour) || !digits(s, 14, 2, minute) || !digits(s, 17, 2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysIn(year, month) || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  // The wall-clock time read as UTC, then moved by the zone's offset at that
  // moment. localtime_r gives the offset without re-reading the zone files,
  // which mktime does on every call; a history of many messages parses
  // thousands of these.
  std::int64_t wall = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  std::int64_t t = wall - offsetAt(wall);
  // Near a daylight-saving change the offset at the guess may differ from the
  // offset at the answer; one more step settles it.
  std::int64_t again = wall - offsetAt(t);
  if (offsetAt(again) == wall - again) t = again;
  return Date::fromUnix(static_cast<double>(t));
}

std::string formatLocalDateTime(Date date) {
  std::tm tm = localParts(date);
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", tm.tm_year + 1900, tm.tm_mon + 1,
                     tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string describeDate(const std::optional<Date>& date) {
  return date ? Value(*date).description() : "(null)";
}

std::string iso8601Local(Date date) {
  std::tm tm = localParts(date);
  long offset = tm.tm_gmtoff;
  char sign = offset < 0 ? '-' : '+';
  offset = std::labs(offset);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}{:02}:{:02}", tm.tm_year + 1900,
                     tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, sign,
                     offset / 3600, (offset % 3600) / 60);
}

std::string formatUtcDateTime(Date date) { return utcText(date, ' '); }

std::string iso8601Utc(Date date) { return utcText(date, 'T') + "Z"; }

}  // namespace platform::foundation
