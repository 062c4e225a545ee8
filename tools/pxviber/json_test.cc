#include "tools/pxviber/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

namespace pxviber {
namespace {

using platform::foundation::Array;
using platform::foundation::Data;
using platform::foundation::Date;
using platform::foundation::Dictionary;
using platform::foundation::Value;

TEST(Json, EveryKindOfValue) {
  Dictionary d{{"b", Value(true)},
               {"i", Value(-42)},
               {"r", Value(0.25)},
               {"inf", Value(INFINITY)},
               {"s", Value("Zoë \"quoted\" \\ \n\t\x01")},
               {"data", Value(Data{0x00, 0xab, 0xff})},
               {"date", Value(Date::fromUnix(1765000000.75))},
               {"null", Value()},
               {"list", Value(Array{Value(1), Value("two"), Value(Array{})})}};
  EXPECT_EQ(toJson(Value(d)),
            "{\"b\":true,\"data\":\"00abff\",\"date\":\"2025-12-06T05:46:40Z\",\"i\":-42,"
            "\"inf\":null,\"list\":[1,\"two\",[]],\"null\":null,\"r\":0.25,"
            "\"s\":\"Zoë \\\"quoted\\\" \\\\ \\n\\t\\u0001\"}");
}

// Text from a database or a file may hold bytes that are not UTF-8: the output
// is still JSON that a strict reader takes, the bad bytes shown as U+FFFD.
TEST(Json, TextThatIsNotUtf8StillGivesValidJson) {
  for (std::string bad :
       {std::string("caf\xe9"), std::string("\xff\xfe"), std::string("cut \xf0\x9f\x98"),
        std::string("\xed\xa0\x80 surrogate"), std::string("\xc0\xaf overlong")}) {
    Dictionary d{{"text", Value(bad)}, {bad, Value(1)}};
    std::string json = toJson(Value(d));
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(json)) << json;
    std::string text = parsed["text"];
    EXPECT_NE(text.find("\xef\xbf\xbd"), std::string::npos) << json;
  }
}

TEST(Json, DatesAreWholeSecondsInUtc) {
  EXPECT_EQ(isoDate(Date{0}), "2001-01-01T00:00:00Z");
  EXPECT_EQ(isoDate(Date{-0.5}), "2000-12-31T23:59:59Z");
}

}  // namespace
}  // namespace pxviber
