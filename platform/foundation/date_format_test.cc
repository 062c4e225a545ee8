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
  ZoneGuard newYork("America/St_Johns");
  EXPECT_EQ(iso8601Local(Date::fromUnix(1452848400)), "2016-01-15T05:30:00-03:30");
}

}  // namespace
}  // namespace platform::foundation
