#include "tweak/core/mailbox.h"

#include <fstream>

#include "tweak/core/send_queue.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;

class Mailbox : public testing::TweakTest {};

TEST_F(Mailbox, WriteKeepsTheKeysItDoesNotSet) {
  writeFile({{"debugMode", Value(true)}, {"alertTitle", Value("old")}});
  updateMailbox([](Dictionary& d) { d["conversationID"] = Value("12"); });
  EXPECT_EQ(file(), "alertTitle=old,conversationID=12,debugMode=1");
}

TEST_F(Mailbox, WriteWithoutAFileHoldsOnlyTheWritersKeys) {
  updateMailbox([](Dictionary& d) {
    d["messageText"] = Value("hi");
    d["conversationID"] = Value("3");
  });
  EXPECT_EQ(file(), "conversationID=3,messageText=hi");
}

TEST_F(Mailbox, CorruptFileIsKeptAsideAndLogged) {
  std::ofstream(preferencesPath()) << "<plist><dict><key>showAlerts</key>";
  updateMailbox([](Dictionary& d) { d["alertMessage"] = Value("m"); });
  EXPECT_EQ(file(), "alertMessage=m");
  auto lines = log_.linesStartingWith("PXVIBER: settings file was unreadable; kept it as ");
  ASSERT_EQ(lines.size(), 1u);
  std::string aside = lines[0].substr(lines[0].rfind(' ') + 1);
  std::ifstream in(aside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
            "<plist><dict><key>showAlerts</key>");
}

TEST_F(Mailbox, ClearingRemovesTheFourRequestKeysOnly) {
  writeFile({{"messageText", Value("")},
             {"conversationID", Value("5")},
             {"messagePictureFile", Value("100.jpg")},
             {"messagePictureFileWithPath", Value("/x/100.jpg")},
             {"alertTitle", Value("t")},
             {"alertMessage", Value("m")},
             {"maxMessagesToDisplay", Value(4)}});
  updateMailbox(removeRequestKeys);
  EXPECT_EQ(file(), "alertMessage=m,alertTitle=t,maxMessagesToDisplay=4");
}

TEST_F(Mailbox, AWriterThatCannotTakeTheLockWritesNothingAndSaysSo) {
  writeFile({{"debugMode", Value(true)}});
  // A folder where the lock file belongs: the lock cannot be opened, while the
  // settings folder itself is writable.
  std::filesystem::create_directory(preferencesPath().string() + ".lock");
  EXPECT_FALSE(updateMailbox([](Dictionary& d) { d["conversationID"] = Value("12"); }));
  EXPECT_EQ(file(), "debugMode=1");
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: could not lock settings file ").size(), 1u);
}

}  // namespace
}  // namespace tweak
