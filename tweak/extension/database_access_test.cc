#include "tweak/extension/database_access.h"

#include <gtest/gtest.h>

namespace tweak {
namespace {

TEST(DatabaseAccess, Utf8ValidationFollowsTheStandard) {
  for (const char* good : {"", "plain", "Zoë Ångström", "Привет", "こんにちは", "😀 🎉",
                           "\xF4\x8F\xBF\xBF" /* U+10FFFF */}) {
    EXPECT_TRUE(isValidUtf8(good)) << good;
  }
  for (const char* bad : {"\xFF", "\xC3", "abc\xE2\x82", "\xC0\xAF" /* overlong "/" */,
                          "\xE0\x80\xAF", "\xED\xA0\x80" /* a surrogate */,
                          "\xF4\x90\x80\x80" /* above U+10FFFF */, "\x80", "a\xC3(b"}) {
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
}

}  // namespace
}  // namespace tweak
