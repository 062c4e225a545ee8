#include "platform/foundation/xml_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/scratch_folder.h"

namespace platform::foundation {
namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(XmlText, WellFormedTextXmlHoldsComesBackUnchanged) {
  for (std::string text :
       {"", "plain", "Grüße 👋🏽 \"quoted\" <&> ]]>", "tab\tline\ncr\r",
        "\x7F\xC2\x80 C1 and DEL are allowed", "\xEF\xBF\xBD itself", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_EQ(textXmlCanHold(text), text);
  }
}

TEST(XmlText, BytesThatAreNotUtf8AndCharactersXmlCannotHoldBecomeTheReplacement) {
  EXPECT_EQ(textXmlCanHold("caf\xE9 \x01"), "caf" + kFFFD + " " + kFFFD);
  EXPECT_EQ(textXmlCanHold(std::string("a\0b", 3)), "a" + kFFFD + "b");
  EXPECT_EQ(textXmlCanHold("\xC0\xAF"), kFFFD + kFFFD);                          // overlong "/"
  EXPECT_EQ(textXmlCanHold("\xED\xA0\x80"), kFFFD + kFFFD + kFFFD);              // a surrogate
  EXPECT_EQ(textXmlCanHold("\xF4\x90\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD);  // past U+10FFFF
  EXPECT_EQ(textXmlCanHold("\xEF\xBF\xBE\xEF\xBF\xBF"), kFFFD + kFFFD);          // U+FFFE, U+FFFF
  EXPECT_EQ(textXmlCanHold("cut \xE2\x82"), "cut " + kFFFD + kFFFD);
  EXPECT_EQ(textXmlCanHold("\x1B[31mred"), kFFFD + "[31mred");
}

// The settings file written with hostile text in its values and keys is read
// whole by a second, independent reader (Python's plistlib).
TEST(XmlText, ASettingsFileWithHostileTextIsReadByASecondReader) {
  testing::ScratchFolder scratch("xml-text-test");
  auto path = scratch.path() / "settings.plist";
  std::string hostile = std::string("caf\xE9 \x01\x02 \x1F nul:") + '\0' + " ]]> <&> \xEF\xBF\xBF";
  ASSERT_TRUE(writeDictionaryFileAtomically(
      path, {{"showAlerts", Value(true)},
             {"alertReplies", Value(hostile)},
             {"key\x01" + hostile,
              Value(Array{Value(hostile), Value(Dictionary{{hostile, Value(1)}})})}}));
  auto back = readDictionaryFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(*find(*back, "alertReplies"), Value("caf" + kFFFD + " " + kFFFD + kFFFD + " " + kFFFD +
                                                " nul:" + kFFFD + " ]]> <&> " + kFFFD));
  std::string command =
      "python3 -c 'import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
      "sys.exit(0 if d[\"showAlerts\"] is True and len(d) == 3 else 3)' " +
      path.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
}  // namespace platform::foundation
