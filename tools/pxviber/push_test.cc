#include <gtest/gtest.h>

#include "tools/pxviber/push.h"

namespace pxviber {
namespace {

using platform::foundation::Dictionary;
using platform::foundation::Value;
namespace sb = platform::springboard;

// The payload of a remote or user-info bulletin, as text.
std::string payload(const NotificationContent& note) {
  sb::BBBulletin b = makeBulletin(note);
  const Value* p = platform::foundation::find(
      b.context, note.form == "remote" ? sb::kRemoteNotificationKey : sb::kUserInfoKey);
  return p ? p->description() : "(none)";
}

TEST(PushBulletin, AnEmptyGroupIsAGroupAndNoGroupIsNone) {
  NotificationContent note;
  note.number = "+15550100001";
  note.text = "Alice: hi";
  EXPECT_EQ(payload(note), "{\n    fn = \"+15550100001\";\n}");
  note.group = "";
  EXPECT_EQ(payload(note), "{\n    fn = \"+15550100001\";\n    gi = \"\";\n}");
  note.group = "5712345678901234567";
  note.form = "userinfo";
  EXPECT_EQ(payload(note), "{\n    fn = \"+15550100001\";\n    gi = 5712345678901234567;\n}");
}

TEST(PushBulletin, TheTokenIsANumberExceptInALocalNotification) {
  NotificationContent note;
  note.token = "6200000000000000034";
  note.text = "Bob: lunch?";
  EXPECT_EQ(payload(note), "{\n    mt = 6200000000000000034;\n}");
  note.form = "local";
  sb::BBBulletin b = makeBulletin(note);
  EXPECT_EQ(platform::foundation::find(b.context, sb::kNotificationTypeKey)->description(),
            sb::kNotificationTypeLocal);
  EXPECT_NE(platform::foundation::find(b.context, sb::kLocalNotificationKey), nullptr);
}

}  // namespace
}  // namespace pxviber
