#include "platform/foundation/value.h"

#include <gtest/gtest.h>

#include <limits>

namespace platform::foundation {
namespace {

TEST(Value, BoolValueOfStringsFollowsFoundation) {
  for (const char* yes : {"YES", "yes", "true", "T", "1", "  7", "+1", "-1", "0001", "9z", "y"}) {
    EXPECT_TRUE(stringBoolValue(yes)) << yes;
  }
  for (const char* no : {"", "NO", "no", "false", "0", "000", " ", "abc", "+", "-0", "0.5", "x1"}) {
    EXPECT_FALSE(stringBoolValue(no)) << no;
  }
}

TEST(Value, LongLongValueOfStringsFollowsFoundation) {
  EXPECT_EQ(stringLongLongValue("42"), 42);
  EXPECT_EQ(stringLongLongValue("  -17abc"), -17);
  EXPECT_EQ(stringLongLongValue("+5"), 5);
  EXPECT_EQ(stringLongLongValue("3.9"), 3);
  EXPECT_EQ(stringLongLongValue("abc"), 0);
  EXPECT_EQ(stringLongLongValue(""), 0);
  EXPECT_EQ(stringLongLongValue("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(stringLongLongValue("-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(stringLongLongValue("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
}

TEST(Value, NumbersAnswerBoolLongLongAndStringValue) {
  EXPECT_EQ(Value(true).boolValue(), true);
  EXPECT_EQ(Value(0).boolValue(), false);
  EXPECT_EQ(Value(0.25).boolValue(), true);
  EXPECT_EQ(Value(2.9).longLongValue(), 2);
  EXPECT_EQ(Value(-2.9).longLongValue(), -2);
  EXPECT_EQ(Value(1e300).longLongValue(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Value(true).longLongValue(), 1);
  EXPECT_EQ(Value(12345678901234LL).stringValue(), "12345678901234");
  EXPECT_EQ(Value(false).stringValue(), "0");
  EXPECT_EQ(Value(0.1).stringValue(), "0.1");
  // Strings and other kinds do not answer stringValue; collections answer nothing.
  EXPECT_EQ(Value("12").stringValue(), std::nullopt);
  EXPECT_EQ(Value(Array{}).boolValue(), std::nullopt);
  EXPECT_EQ(Value(Date{1}).longLongValue(), std::nullopt);
}

TEST(Value, DescriptionPrintsAsPercentAt) {
  EXPECT_EQ(Value().description(), "(null)");
  EXPECT_EQ(Value("hi there").description(), "hi there");
  EXPECT_EQ(Value(7).description(), "7");
  EXPECT_EQ(Value(Data{1, 2, 3, 4, 0xab}).description(), "<01020304 ab>");
  EXPECT_EQ(Value(Date::fromUnix(0)).description(), "1970-01-01 00:00:00 +0000");
  Dictionary d{{"mt", Value(5)}, {"text", Value("a b")}, {"list", Value(Array{Value("x")})}};
  EXPECT_EQ(Value(d).description(),
            "{\n    list = (\n        x\n    );\n    mt = 5;\n    text = \"a b\";\n}");
  EXPECT_EQ(describe(std::nullopt), "(null)");
}

}  // namespace
}  // namespace platform::foundation
