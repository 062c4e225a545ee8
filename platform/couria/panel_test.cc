#include "platform/couria/panel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/foundation/error.h"

namespace platform::couria {
namespace {

using foundation::Date;
using foundation::Dictionary;
using foundation::Value;

class Message final : public CouriaMessage {
 public:
  Message(std::string text, bool outgoing, std::optional<Date> when)
      : text_(std::move(text)), outgoing_(outgoing), when_(when) {}
  foundation::Id content() const override { return std::make_shared<foundation::NSString>(text_); }
  bool outgoing() const override { return outgoing_; }
  std::optional<Date> timestamp() const override { return when_; }
  std::optional<Value> valueForKey(std::string_view key) const override {
    if (key == "conversation") return Value("7");
    if (key == "authorDisplayName") return Value();
    return std::nullopt;
  }

 private:
  std::string text_;
  bool outgoing_;
  std::optional<Date> when_;
};

// Records the calls Couria makes, in order.
class RecordingExtension final : public CouriaExtension {
 public:
  UserIdentifier getUserIdentifier(const springboard::BBBulletin& b) override {
    calls.push_back("getUserIdentifier " + b.message.value_or(""));
    return user;
  }
  void sendMessage(std::shared_ptr<const CouriaMessage>, const UserIdentifier&) override {
    calls.push_back("sendMessage");
  }
  std::optional<std::string> getNickname(const UserIdentifier& u) override {
    calls.push_back("getNickname " + u.value_or("nil"));
    return u ? std::optional<std::string>("Alice") : std::nullopt;
  }
  std::vector<std::shared_ptr<CouriaMessage>> getMessages(const UserIdentifier& u) override {
    calls.push_back("getMessages " + u.value_or("nil"));
    if (!u) return {};
    return {std::make_shared<Message>("hi", false, Date::fromUnix(1468569600)),
            std::make_shared<Message>("ho", true, std::nullopt)};
  }
  UserIdentifier user = "7";
  std::vector<std::string> calls;
};

class Panels : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    couria_.registerExtension(extension_, "com.viber");
    bulletin_.sectionID = "com.viber";
    bulletin_.message = "Alice: hi";
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
  Couria couria_;
  std::shared_ptr<RecordingExtension> extension_ = std::make_shared<RecordingExtension>();
  springboard::BBBulletin bulletin_;
};

TEST_F(Panels, ShowingABulletinAsksInCouriasOrderAndOpensThePanel) {
  Panel panel = presentBulletin(couria_, bulletin_);
  EXPECT_EQ(extension_->calls, (std::vector<std::string>{"getUserIdentifier Alice: hi",
                                                         "getNickname 7", "getMessages 7"}));
  ASSERT_TRUE(couria_.openPanel());
  EXPECT_EQ(couria_.openPanel()->application, "com.viber");
  EXPECT_EQ(couria_.openPanel()->user, "7");
  EXPECT_EQ(renderPanel(panel),
            "Couria reply panel (com.viber): Alice [conversation 7], 2 messages\n"
            "  2016-07-15 08:00:00  < hi\n"
            "                               > ho\n");
}

TEST_F(Panels, DictionaryListsTheMessagePropertiesAndLeavesNilOut) {
  Dictionary d = panelDictionary(presentBulletin(couria_, bulletin_));
  Dictionary first{{"content", Value("hi")},
                   {"outgoing", Value(false)},
                   {"timestamp", Value(Date::fromUnix(1468569600))},
                   {"conversation", Value("7")}};
  Dictionary second{
      {"content", Value("ho")}, {"outgoing", Value(true)}, {"conversation", Value("7")}};
  EXPECT_EQ(d, (Dictionary{{"application", Value("com.viber")},
                           {"user", Value("7")},
                           {"nickname", Value("Alice")},
                           {"messages", Value(foundation::Array{Value(first), Value(second)})}}));
}

TEST_F(Panels, UnknownUserStillAsksForNicknameAndHistory) {
  extension_->user = std::nullopt;
  Panel panel = presentBulletin(couria_, bulletin_);
  EXPECT_EQ(extension_->calls.back(), "getMessages nil");
  EXPECT_EQ(renderPanel(panel),
            "Couria reply panel (com.viber): unknown sender [conversation none], 0 messages\n");
  EXPECT_EQ(panelDictionary(panel), (Dictionary{{"application", Value("com.viber")},
                                                {"messages", Value(foundation::Array{})}}));
}

TEST_F(Panels, BulletinWithoutAnExtensionIsRefused) {
  bulletin_.sectionID = "com.example.other";
  EXPECT_THROW(presentBulletin(couria_, bulletin_), Error);
  bulletin_.sectionID.reset();
  EXPECT_THROW(presentBulletin(couria_, bulletin_), Error);
  EXPECT_TRUE(extension_->calls.empty());
  EXPECT_FALSE(couria_.openPanel());
}

}  // namespace
}  // namespace platform::couria
