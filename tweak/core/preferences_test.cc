#include "tweak/core/preferences.h"

#include <fstream>

#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;

class Preferences : public testing::TweakTest {};

TEST_F(Preferences, NoFileGivesTheDefaults) {
  EXPECT_EQ(values(), "0 0 0 0 0 0");
  loadPreferences();
  EXPECT_EQ(values(), "1 3 10 0 1 1");
}

TEST_F(Preferences, ZeroCountsStayZeroAndNegativesAreStoredAsTheyAre) {
  writeFile({{"maxMessagesToDisplay", Value(0)}, {"historyDaysToDisplay", Value(0)}});
  loadPreferences();
  EXPECT_EQ(values(), "1 0 0 0 1 1");
  writeFile({{"maxMessagesToDisplay", Value(-4)}, {"historyDaysToDisplay", Value(-1)}});
  loadPreferences();
  EXPECT_EQ(values(), "1 -1 -4 0 1 1");
}

TEST_F(Preferences, StringsAndNumbersReadWithFoundationRules) {
  writeFile({{"fetchHistoryFromDB", Value("no")},
             {"historyDaysToDisplay", Value(" 7 days")},
             {"maxMessagesToDisplay", Value(12.9)},
             {"debugMode", Value("Yes")},
             {"showAlerts", Value(0)},
             {"markReadOnReply", Value("no")}});
  loadPreferences();
  EXPECT_EQ(values(), "0 7 12 1 0 0");
}

// The setting beside the five: YES when absent, read with boolValue's rules,
// and a value of a kind without one counts as absent.
TEST_F(Preferences, MarkReadOnReplyIsReadLikeTheOtherSwitches) {
  for (const auto& [stored, read] :
       std::vector<std::pair<Value, const char*>>{{Value(false), "0"},
                                                  {Value(true), "1"},
                                                  {Value(0), "0"},
                                                  {Value(2), "1"},
                                                  {Value("NO"), "0"},
                                                  {Value("yes"), "1"},
                                                  {Value("0.0"), "0"},
                                                  {Value(""), "0"},
                                                  {Value(platform::foundation::Array{}), "1"}}) {
    SCOPED_TRACE(stored.description());
    writeFile({{"markReadOnReply", stored}});
    loadPreferences();
    EXPECT_EQ(values(), std::string("1 3 10 0 1 ") + read);
  }
}

TEST_F(Preferences, ValuesWithoutANumberReadingCountAsAbsent) {
  writeFile({{"fetchHistoryFromDB", Value(platform::foundation::Array{})},
             {"historyDaysToDisplay", Value(platform::foundation::Data{1})},
             {"showAlerts", Value(platform::foundation::Date{0})}});
  loadPreferences();
  EXPECT_EQ(values(), "1 3 10 0 1 1");
}

TEST_F(Preferences, UnreadableFileGivesTheDefaults) {
  std::ofstream(preferencesPath()) << "garbage";
  loadPreferences();
  EXPECT_EQ(values(), "1 3 10 0 1 1");
}

}  // namespace
}  // namespace tweak
