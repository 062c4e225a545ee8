#include "platform/foundation/date_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace platform::foundation {
namespace {

// Sets TZ for one test and restores it afterwards.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(DateFormat, ParsesThePatternInTheLocalZone) {
  ZoneGuard zone("UTC");
  EXPECT_EQ(parseLocalDateTime("2001-01-01 00:00:00"), Date{0});
  EXPECT_EQ(parseLocalDateTime("2016-02-29 12:30:05"), Date::fromUnix(1456749005));
  ZoneGuard berlin("Europe/Berlin");
  // Winter (+01:00) and summer (+02:00).
  EXPECT_EQ(parseLocalDateTime("2016-01-15 10:00:00"), Date::fromUnix(1452848400));
  EXPECT_EQ(parseLocalDateTime("2016-07-15 10:00:00"), Date::fromUnix(1468569600));
  // Around the changes of 2016: the hour before and after the jump forward on
  // 27 March (01:00 UTC), and the hour repeated on 30 October (01:00 UTC).
  EXPECT_EQ(parseLocalDateTime("2016-03-27 01:59:59"), Date::fromUnix(1459040399));
  EXPECT_EQ(parseLocalDateTime("2016-03-27 03:00:00"), Date::fromUnix(1459040400));
  EXPECT_EQ(parseLocalDateTime("2016-10-30 01:59:59"), Date::fromUnix(1477785599));
  EXPECT_EQ(parseLocalDateTime("2016-10-30 02:30:00"), Date::fromUnix(1477791000));
  EXPECT_EQ(parseLocalDateTime("2016-10-30 03:00:00"), Date::fromUnix(1477792800));
  // Far dates, both sides of the Unix epoch.
  EXPECT_EQ(parseLocalDateTime("1900-03-01 00:00:00"), Date::fromUnix(-2203891200.0 - 3600));
}

TEST(DateFormat, RefusesTextOffThePattern) {
  ZoneGuard zone("UTC");
  for (const char* bad : {"", "2016-01-15", "2016-01-15 10:00", "2016-01-15T10:00:00",
                          "2016-1-15 10:00:00", "2016-01-15 10:00:00 ", "2015-02-29 10:00:00",
                          "2016-13-01 10:00:00", "2016-01-32 10:00:00", "2016-01-15 24:00:00",
                          "2016-01-15 10:60:00", "2016-01-15 10:00:60", "20a6-01-15 10:00:00"}) {
    EXPECT_FALSE(parseLocalDateTime(bad)) << bad;
  }
}

TEST(DateFormat, PrintsForLogsJsonAndBack) {
  ZoneGuard zone("Europe/Berlin");
  Date summer = Date::fromUnix(1468569600);
  EXPECT_EQ(formatLocalDateTime(summer), "2016-07-15 10:00:00");
  EXPECT_EQ(parseLocalDateTime(formatLocalDateTime(summer)), summer);
  EXPECT_EQ(describeDate(summer), "2016-07-15 08:00:00 +0000");
  EXPECT_EQ(describeDate(std::nullopt), "(null)");
  EXPECT_EQ(iso8601Local(summer), "2016-07-15T10:00:00+02:00");
  EXPECT_EQ(iso8601Local(Date::fromUnix(1452848400)), "2016-01-15T10:00:00+01:00");
  EXPECT_EQ(formatLocalDateTime(Date{1e300}), formatLocalDateTime(Date{1e299}));
  ZoneGuard newYork("America/St_Johns");
  EXPECT_EQ(iso8601Local(Date::fromUnix(1452848400)), "2016-01-15T05:30:00-03:30");
}

// Dates past 2038 (and before 1901) lie outside a 32-bit time_t; on 32-bit ARM
// they must still print and parse as on a 64-bit processor.
TEST(DateFormat, DatesPast2038KeepTheirLocalAndUniversalText) {
  ZoneGuard zone("Europe/Berlin");
  Date summer2040 = Date::fromUnix(2224756800 - 2 * 3600);  // 2040-07-01 12:00 in Berlin
  EXPECT_EQ(parseLocalDateTime("2040-07-01 12:00:00"), summer2040);
  EXPECT_EQ(formatLocalDateTime(summer2040), "2040-07-01 12:00:00");
  EXPECT_EQ(iso8601Local(summer2040), "2040-07-01T12:00:00+02:00");
  EXPECT_EQ(describeDate(summer2040), "2040-07-01 10:00:00 +0000");
  EXPECT_EQ(iso8601Utc(summer2040), "2040-07-01T10:00:00Z");
  Date winter2040 = Date::fromUnix(2210232600 - 3600);  // 2040-01-15 09:30 in Berlin
  EXPECT_EQ(formatLocalDateTime(winter2040), "2040-01-15 09:30:00");
  EXPECT_EQ(parseLocalDateTime("2040-01-15 09:30:00"), winter2040);
  // Past the end of a 32-bit unsigned count of seconds, and before 1901.
  EXPECT_EQ(describeDate(Date::fromUnix(4294967301.5)), "2106-02-07 06:28:21 +0000");
  EXPECT_EQ(describeDate(Date::fromUnix(-2203891200.0)), "1900-03-01 00:00:00 +0000");
  EXPECT_EQ(iso8601Utc(Date::fromUnix(-0.5)), "1969-12-31T23:59:59Z");
}

}  // namespace
}  // namespace platform::foundation
