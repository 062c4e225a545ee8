#include "platform/foundation/date_format.h"

#include <cmath>
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
  std::time_t t = static_cast<std::time_t>(std::floor(date.unixTime()));
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
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
  // mktime resolves the wall-clock time in the current zone; tm_isdst = -1
  // lets it find whether daylight-saving time applies at that moment.
  tzset();
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1) && !(year == 1969 || year == 1970)) return std::nullopt;
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
