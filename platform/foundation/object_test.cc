#include "platform/foundation/object.h"

#include <gtest/gtest.h>

namespace platform::foundation {
namespace {

TEST(Object, ClassNamesAndDescriptions) {
  Id text = std::make_shared<NSMutableString>("hi");
  EXPECT_EQ(text->className(), "NSMutableString");
  EXPECT_NE(dynamic_cast<const NSString*>(text.get()), nullptr);
  EXPECT_EQ(describe(text), "hi");
  EXPECT_EQ(describe(Id()), "(null)");
  EXPECT_EQ(NSObject().description().rfind("<NSObject: 0x", 0), 0u);
}

TEST(Object, FileURLsRoundTripTheirPath) {
  auto url = NSURL::fileURLWithPath("/tmp/a photo/ü.jpg");
  EXPECT_EQ(url->absoluteString(), "file:///tmp/a%20photo/%C3%BC.jpg");
  EXPECT_TRUE(url->isFileURL());
  EXPECT_EQ(url->path(), "/tmp/a photo/ü.jpg");
  EXPECT_EQ(NSURL::URLWithString("file://localhost/x%2")->path(), "/x%2");
  EXPECT_EQ(NSURL::URLWithString("https://example.org/p")->path(), std::nullopt);
  EXPECT_EQ(NSURL::URLWithString("has space"), nullptr);
  EXPECT_EQ(NSURL::URLWithString(""), nullptr);
}

}  // namespace
}  // namespace platform::foundation
