#include "platform/foundation/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace platform::foundation {
namespace {

TEST(NewUUID, IsARandomVersionFourUUIDInUpperCase) {
  std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    std::string uuid = newUUID();
    EXPECT_TRUE(std::regex_match(uuid, form)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace platform::foundation
