#include "tools/pxviber/packages/dependencies.h"

#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/control_fields.h"

namespace pxviber::packages {
namespace {

// "<", "=" or ">" as dpkg orders the two versions.
std::string order(std::string_view a, std::string_view b) {
  int d = compareVersions(a, b);
  return d < 0 ? "<" : d == 0 ? "=" : ">";
}

TEST(Versions, CompareAsThePackageManagerDoes) {
  EXPECT_EQ(order("1.0", "1.0"), "=");
  EXPECT_EQ(order("1.01", "1.1"), "=");
  EXPECT_EQ(order("1.9", "1.10"), "<");
  EXPECT_EQ(order("1.0", "1.0a"), "<");
  EXPECT_EQ(order("1.0~rc1", "1.0"), "<");
  EXPECT_EQ(order("1.0~~", "1.0~"), "<");
  EXPECT_EQ(order("1.0+b1", "1.0"), ">");
  EXPECT_EQ(order("1.0-2", "1.0-10"), "<");
  EXPECT_EQ(order("1:0.9", "2.0"), ">");
  EXPECT_EQ(order("9.0", "7.0"), ">");
  EXPECT_EQ(order("2.6.0-3+deb12u1", "2.6.0-3"), ">");
}

TEST(Depends, ParsesGroupsAlternativesAndConstraints) {
  auto groups = parseDepends("firmware (>= 7.0), mobilesubstrate,a|b (<< 2)");
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(describe(groups[0]), "firmware (>= 7.0)");
  EXPECT_EQ(describe(groups[1]), "mobilesubstrate");
  EXPECT_EQ(describe(groups[2]), "a | b (<< 2)");
  EXPECT_TRUE(versionSatisfies("9.0", groups[0][0]));
  EXPECT_FALSE(versionSatisfies("6.1", groups[0][0]));
  EXPECT_TRUE(versionSatisfies("anything", groups[1][0]));
  EXPECT_TRUE(versionSatisfies("1.9", groups[2][1]));
  EXPECT_FALSE(versionSatisfies("2", groups[2][1]));
  EXPECT_TRUE(parseDepends("  ").empty());
  for (const char* bad : {"a (>= )", "a (~ 1)", "a (>= 1", "a b", "a, , b", "a (>= 1) x"}) {
    EXPECT_THROW(parseDepends(bad), platform::Error) << bad;
  }
}

TEST(ControlFields, StanzasWithContinuationsReadAndWriteBack) {
  auto stanzas = parseStanzas(
      "Package: one\nDescription: short\n long line\n .\nStatus: install ok installed\n\n\n"
      "package: two\nVersion:  2.0 \n");
  ASSERT_EQ(stanzas.size(), 2u);
  EXPECT_EQ(fieldOf(stanzas[0], "description"), "short\n long line\n .");
  EXPECT_EQ(fieldOf(stanzas[1], "Package"), "two");
  EXPECT_EQ(fieldOf(stanzas[1], "Version"), "2.0");
  EXPECT_EQ(fieldOf(stanzas[1], "Depends"), std::nullopt);
  EXPECT_EQ(parseStanzas(formatStanza(stanzas[0])).at(0), stanzas[0]);
  setField(stanzas[1], "VERSION", "3.0");
  setField(stanzas[1], "Status", "install ok installed");
  EXPECT_EQ(formatStanza(stanzas[1]), "package: two\nVersion: 3.0\nStatus: install ok installed\n");
  EXPECT_THROW(parseStanzas(" starts with a continuation"), platform::Error);
  EXPECT_THROW(parseStanzas("Package: x\nno colon here"), platform::Error);
}

}  // namespace
}  // namespace pxviber::packages
