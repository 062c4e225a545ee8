#include "platform/preferences/list_items.h"

#include <gtest/gtest.h>

#include "platform/foundation/property_list.h"

namespace platform::preferences {
namespace {

using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

class Target : public ActionTarget {
 public:
  bool respondsToSelector(std::string_view s) const override { return s == "known"; }
  bool performSelector(std::string_view) override { return false; }
};

Value listOf(Array items) { return Value(Dictionary{{"items", Value(std::move(items))}}); }

Dictionary switchRow(std::string key) {
  return Dictionary{{"cell", Value("PSSwitchCell")},
                    {"label", Value("Row " + key)},
                    {"key", Value(key)},
                    {"defaults", Value("org.example.domain")}};
}

// The parsed rows as "Cell:label" words, one readable line per assertion.
std::string rows(const SpecifierList& list) {
  std::string out;
  for (auto& s : list.items) {
    if (!out.empty()) out += " ";
    out += std::string(cellTypeName(s.cell)) + ":" + s.label;
  }
  return out;
}

std::string skipped(const SpecifierList& list) {
  std::string out;
  for (auto& line : list.skipped) out += "[" + line + "]";
  return out;
}

TEST(SpecifierList, ReadsEveryFieldOfTheFiveCells) {
  Target target;
  Dictionary number = {{"cell", Value("PSEditTextCell")},
                       {"label", Value("Days")},
                       {"key", Value("days")},
                       {"defaults", Value("org.example.domain")},
                       {"default", Value(3)},
                       {"keyboard", Value("numbers")},
                       {"min", Value(1)},
                       {"max", Value(30)},
                       {"PostNotification", Value("org.example.changed")}};
  Value root = listOf(
      {Value(Dictionary{{"cell", Value("PSGroupCell")},
                        {"label", Value("Group")},
                        {"footerText", Value("Footer")}}),
       Value(switchRow("on")), Value(number),
       Value(Dictionary{
           {"cell", Value("PSButtonCell")}, {"label", Value("Go")}, {"action", Value("known")}}),
       Value(Dictionary{{"cell", Value("PSLinkCell")},
                        {"label", Value("More")},
                        {"detail", Value("MoreController")}})});
  std::string failure;
  auto list = parseSpecifierList(root, &target, &failure);
  ASSERT_TRUE(list);
  EXPECT_EQ(rows(*list),
            "PSGroupCell:Group PSSwitchCell:Row on PSEditTextCell:Days PSButtonCell:Go "
            "PSLinkCell:More");
  EXPECT_EQ(skipped(*list), "");
  EXPECT_EQ(list->items[0].footerText, "Footer");
  const PSSpecifier& days = list->items[2];
  EXPECT_EQ(days.key, "days");
  EXPECT_EQ(days.defaults, "org.example.domain");
  EXPECT_EQ(days.defaultValue, Value(3));
  EXPECT_EQ(days.keyboard, KeyboardType::Numbers);
  EXPECT_EQ(days.minimum, 1);
  EXPECT_EQ(days.maximum, 30);
  EXPECT_EQ(days.postNotification, "org.example.changed");
  EXPECT_EQ(list->items[3].action, "known");
  EXPECT_EQ(list->items[3].target, &target);
  EXPECT_EQ(list->items[4].detail, "MoreController");
}

TEST(SpecifierList, RootsThatAreNotListsGiveNothing) {
  std::string failure;
  EXPECT_FALSE(parseSpecifierList(Value("text"), nullptr, &failure));
  EXPECT_EQ(failure, "the root is not a dictionary");
  EXPECT_FALSE(parseSpecifierList(Value(Dictionary{{"items", Value(3)}}), nullptr, &failure));
  EXPECT_EQ(failure, "it has no \"items\" array");
}

TEST(SpecifierList, UnknownCellsAndUnusableEntriesAreSkippedAndReported) {
  Target target;
  Dictionary noKey = switchRow("x");
  noKey.erase("key");
  Dictionary badDomain = switchRow("y");
  badDomain["defaults"] = Value("../../etc/passwd");
  Value root = listOf({
      Value("not a dictionary"),
      Value(Dictionary{{"cell", Value("PSSliderCell")}, {"label", Value("Volume")}}),
      Value(Dictionary{{"label", Value("No cell")}}),
      Value(noKey),
      Value(badDomain),
      Value(Dictionary{{"cell", Value("PSButtonCell")}, {"label", Value("Nothing")}}),
      Value(Dictionary{{"cell", Value("PSButtonCell")}, {"action", Value("unknown")}}),
      Value(Dictionary{{"cell", Value("PSLinkCell")}, {"label", Value("Nowhere")}}),
      Value(switchRow("kept")),
  });
  auto list = parseSpecifierList(root, &target, nullptr);
  ASSERT_TRUE(list);
  EXPECT_EQ(rows(*list), "PSSwitchCell:Row kept");
  EXPECT_EQ(skipped(*list),
            "[item 1: not a dictionary, skipped]"
            "[item 2 (\"Volume\"): unknown cell \"PSSliderCell\", skipped]"
            "[item 3 (\"No cell\"): no cell type, skipped]"
            "[item 4 (\"Row x\"): PSSwitchCell without a key, skipped]"
            "[item 5 (\"Row y\"): PSSwitchCell without a usable defaults domain, skipped]"
            "[item 6 (\"Nothing\"): PSButtonCell without an action, skipped]"
            "[item 7: action \"unknown\" is not a method of the list's target, skipped]"
            "[item 8 (\"Nowhere\"): PSLinkCell without a detail controller, skipped]");
}

TEST(SpecifierList, FieldsOfTheWrongTypeAreIgnoredAndTheRowKept) {
  Dictionary row = switchRow("k");
  row["label"] = Value(42);
  row["PostNotification"] = Value(Array{});
  row["default"] = Value(foundation::Date{0});
  Dictionary number = switchRow("n");
  number["cell"] = Value("PSEditTextCell");
  number["keyboard"] = Value("numbers");
  number["min"] = Value("one");
  number["max"] = Value(true);
  Dictionary inverted = switchRow("i");
  inverted["cell"] = Value("PSEditTextCell");
  inverted["keyboard"] = Value("numbers");
  inverted["min"] = Value(9);
  inverted["max"] = Value(2);
  auto list =
      parseSpecifierList(listOf({Value(row), Value(number), Value(inverted)}), nullptr, nullptr);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->items.size(), 3u);
  EXPECT_EQ(list->items[0].label, "");
  EXPECT_FALSE(list->items[0].postNotification);
  EXPECT_FALSE(list->items[0].defaultValue);
  EXPECT_EQ(list->items[1].keyboard, KeyboardType::Numbers);
  EXPECT_FALSE(list->items[1].minimum);
  EXPECT_FALSE(list->items[1].maximum);
  EXPECT_FALSE(list->items[2].minimum);
  EXPECT_EQ(skipped(*list),
            "[item 1: label is not a string, ignored]"
            "[item 1: PostNotification is not a string, ignored]"
            "[item 1: default is neither a number nor a string, ignored]"
            "[item 2 (\"Row n\"): min is not a number, ignored]"
            "[item 2 (\"Row n\"): max is not a number, ignored]"
            "[item 3 (\"Row i\"): min is above max, bounds ignored]");
}

TEST(SpecifierList, DefaultsDomainsStayInsideThePreferencesFolder) {
  EXPECT_TRUE(isValidDefaultsDomain("org.northquay.pxviberpreferences"));
  EXPECT_FALSE(isValidDefaultsDomain(""));
  EXPECT_FALSE(isValidDefaultsDomain(".."));
  EXPECT_FALSE(isValidDefaultsDomain("a/b"));
}

TEST(SpecifierList, ParsesAnXmlSpecifierListFile) {
  const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>items</key><array>
<dict><key>cell</key><string>PSSwitchCell</string><key>key</key><string>debugMode</string>
<key>defaults</key><string>org.example.domain</string><key>default</key><false/></dict>
</array></dict></plist>)";
  auto root = foundation::parsePropertyList(
      std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
  ASSERT_TRUE(root);
  auto list = parseSpecifierList(*root, nullptr, nullptr);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->items.size(), 1u);
  EXPECT_EQ(list->items[0].defaultValue, Value(false));
}

}  // namespace
}  // namespace platform::preferences
