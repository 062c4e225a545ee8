#include "tweak/core/bootstrap.h"

#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

namespace couria = platform::couria;

class NullExtension : public couria::CouriaExtension {
 public:
  couria::UserIdentifier getUserIdentifier(const platform::springboard::BBBulletin&) override {
    return std::nullopt;
  }
  void sendMessage(std::shared_ptr<const couria::CouriaMessage>,
                   const couria::UserIdentifier&) override {}
};

class Bootstrap : public testing::TweakTest {
 protected:
  void boot(std::optional<std::string> bundleId) {
    platform::foundation::setMainBundleIdentifier(std::move(bundleId));
    runBootstrap({.newExtension =
                      [this] {
                        auto e = std::make_shared<NullExtension>();
                        made_ = e;
                        return e;
                      },
                  .sendMessageCallback = [this](auto...) { ++sendCallbacks_; },
                  .messengerSettled = [this] { settled_.push_back("messenger " + values()); },
                  .springboardSettled = [this] { settled_.push_back("springboard " + values()); }});
  }
  std::weak_ptr<NullExtension> made_;
  int sendCallbacks_ = 0;
  std::vector<std::string> settled_;
};

TEST_F(Bootstrap, MessengerRoleLogsAndObservesPreferencesAndSend) {
  boot("com.viber");
  EXPECT_EQ(log_.lines(),
            (std::vector<std::string>{"PXVIBER: Constructor", "PXVIBER: loaded in app: com.viber",
                                      "PXVIBER: couria instance taken",
                                      "PXVIBER: couria extension registered"}));
  // The post comes after the observation, so that it reaches this process too.
  EXPECT_EQ(center_->events(),
            (std::vector<std::string>{"observe org.northquay.parlexviber.preferencesChanged:2",
                                      "post org.northquay.parlexviber.preferencesChanged",
                                      "observe org.northquay.parlexviber.sendMessage:4"}));
  center_->postNotification(kSendMessageNotification);
  loop_->runPending();
  EXPECT_EQ(sendCallbacks_, 1);
}

TEST_F(Bootstrap, SpringboardRoleRegistersWithCouriaAndObservesAlerts) {
  auto cls = std::make_shared<couria::CouriaClass>();
  platform::runtime::registerClass(cls);
  boot("com.apple.springboard");
  EXPECT_EQ(log_.lines().back(), "PXVIBER: loaded in springboard");
  EXPECT_EQ(log_.lines()[1], "PXVIBER: loaded in app: com.apple.springboard");
  EXPECT_EQ(center_->events(),
            (std::vector<std::string>{"observe org.northquay.parlexviber.preferencesChanged:2",
                                      "post org.northquay.parlexviber.preferencesChanged",
                                      "observe org.northquay.parlexviber.showAlert:4"}));
  // Couria holds the extension; the bootstrap kept no reference of its own.
  EXPECT_EQ(cls->sharedInstance()->extensionForApplication("com.viber"), made_.lock());
  EXPECT_NE(made_.lock(), nullptr);
}

TEST_F(Bootstrap, WithoutCouriaTheExtensionIsFreedAndBothLinesAreWritten) {
  boot("com.apple.springboard");
  EXPECT_TRUE(made_.expired());
  EXPECT_TRUE(log_.contains("PXVIBER: couria instance taken"));
  EXPECT_TRUE(log_.contains("PXVIBER: couria extension registered"));
}

TEST_F(Bootstrap, RoleTestIsCaseSensitiveAndNilIsSpringboard) {
  boot("com.Viber");
  EXPECT_TRUE(log_.contains("PXVIBER: loaded in springboard"));
  TearDown();
  SetUp();
  boot(std::nullopt);
  EXPECT_TRUE(log_.contains("PXVIBER: loaded in app: (null)"));
  EXPECT_TRUE(log_.contains("PXVIBER: loaded in springboard"));
}

TEST_F(Bootstrap, SettingsAreZeroUntilTheFirstDeliveryThenLoaded) {
  boot("com.viber");
  EXPECT_EQ(values(), "0 0 0 0 0 0");
  EXPECT_EQ(center_->posts(), std::vector<std::string>{kPreferencesChangedNotification});
  loop_->runPending();
  EXPECT_EQ(values(), "1 3 10 0 1 1");
}

TEST_F(Bootstrap, TheRolesSettledEntryRunsOnceAfterTheSettingsFirstLoad) {
  boot("com.viber");
  EXPECT_TRUE(settled_.empty());
  loop_->runPending();
  // The defaults are loaded by then: showAlerts is on for whatever it sends.
  EXPECT_EQ(settled_, std::vector<std::string>{"messenger 1 3 10 0 1 1"});
  center_->postNotification(kPreferencesChangedNotification);
  loop_->runPending();
  EXPECT_EQ(settled_.size(), 1u);
  resetProcessState();
  settled_.clear();
  boot("com.apple.springboard");
  loop_->runPending();
  EXPECT_EQ(settled_, std::vector<std::string>{"springboard 1 3 10 0 1 1"});
}

}  // namespace
}  // namespace tweak
