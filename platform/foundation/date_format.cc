#include "platform/foundation/date_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>

#include <fmt/format.h>

namespace platform::foundation {

namespace {

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
  // Dates beyond ten thousand years either way print as the nearest of them.
  constexpr double kLimit = 1e4 * 365.25 * 86400;
  double unix = date.unixTime();
  unix = std::isnan(unix) ? 0 : std::clamp(unix, -kLimit, kLimit);
  std::time_t t = static_cast<std::time_t>(std::floor(unix));
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

}  // namespace platform::foundation
