#include "tweak/extension/conversation_message.h"

#include <thread>

#include "tweak/extension/extension_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Id;
using platform::foundation::NSGenericObject;
using platform::foundation::NSMutableString;
using platform::foundation::NSString;
using platform::foundation::NSURL;

class ConversationMessage : public testing::TweakTest {
 protected:
  static std::shared_ptr<ORVCouriaViberMessage> withContent(Id content) {
    auto m = std::make_shared<ORVCouriaViberMessage>();
    m->setContent(std::move(content));
    return m;
  }
  std::shared_ptr<ORVViberCouriaExtension> extension_ = ORVViberCouriaExtension::create();
};

TEST_F(ConversationMessage, NewMessageIsEmptyAndKeepsWhatIsSet) {
  ORVCouriaViberMessage m;
  EXPECT_EQ(m.content(), nullptr);
  EXPECT_FALSE(m.outgoing());
  EXPECT_FALSE(m.timestamp());
  EXPECT_FALSE(m.authorPhoneNumIndex());
  EXPECT_FALSE(m.authorDisplayName());
  EXPECT_FALSE(m.conversation());
  m.setContent(std::make_shared<NSString>("hi"));
  m.setOutgoing(true);
  m.setTimestamp(platform::foundation::Date{12});
  m.setAuthorPhoneNumIndex("");
  m.setAuthorDisplayName("Alice Smith");
  m.setConversation("4");
  EXPECT_EQ(platform::foundation::describe(m.content()), "hi");
  EXPECT_TRUE(m.outgoing());
  EXPECT_EQ(m.timestamp(), platform::foundation::Date{12});
  EXPECT_EQ(m.authorPhoneNumIndex(), "");
  EXPECT_EQ(m.authorDisplayName(), "Alice Smith");
  EXPECT_EQ(m.conversation(), "4");
}

TEST_F(ConversationMessage, ObjectGettersStayValidWhileAnotherThreadSets) {
  ORVCouriaViberMessage m;
  m.setAuthorDisplayName(std::string(1000, 'a'));
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      m.setAuthorDisplayName(std::string(1000, i % 2 ? 'b' : 'a'));
      m.setContent(std::make_shared<NSString>(std::string(100, i % 2 ? 'b' : 'a')));
    }
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string name = m.authorDisplayName().value_or("");
    bool uniform = name == std::string(1000, 'a') || name == std::string(1000, 'b');
    if (!uniform) ++torn;
    Id content = m.content();
    if (content && content->description().size() != 100) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(ConversationMessage, NicknameComesFromTheTable) {
  EXPECT_EQ(nicknameTable(), nullptr);
  EXPECT_FALSE(extension_->getNickname("3"));
  createNicknameTableIfNeeded()["3"] = "Alice Smith";
  EXPECT_EQ(extension_->getNickname("3"), "Alice Smith");
  EXPECT_FALSE(extension_->getNickname("4"));
  EXPECT_FALSE(extension_->getNickname(std::nullopt));
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ConversationMessage, TextTypeIsAStringOfAnyStringClassAndAlwaysLogged) {
  settings().debugMode = false;
  EXPECT_TRUE(extension_->isMessageOfTextType(*withContent(std::make_shared<NSString>("hi"))));
  EXPECT_TRUE(
      extension_->isMessageOfTextType(*withContent(std::make_shared<NSMutableString>("typed"))));
  auto url = NSURL::fileURLWithPath("/tmp/photo.jpg");
  EXPECT_FALSE(extension_->isMessageOfTextType(*withContent(url)));
  EXPECT_FALSE(extension_->isMessageOfTextType(*withContent(nullptr)));
  EXPECT_FALSE(
      extension_->isMessageOfTextType(*withContent(std::make_shared<NSGenericObject>("UIImage"))));
  auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 5u);
  lines.back() = lines.back().substr(0, lines.back().find("0x"));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "PXVIBER:  message class is NSString, message is hi",
                       "PXVIBER:  message class is NSMutableString, message is typed",
                       "PXVIBER:  message class is NSURL, message is file:///tmp/photo.jpg",
                       "PXVIBER:  message class is (null), message is (null)",
                       "PXVIBER:  message class is UIImage, message is <UIImage: "}));
}

}  // namespace
}  // namespace tweak
