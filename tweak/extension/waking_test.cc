#include "platform/springboard/testing/fake_applications.h"
#include "tweak/extension/viber_couria_extension.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

namespace springboard = platform::springboard;
using springboard::testing::FakeApplication;
using springboard::testing::FakeRegistry;
using springboard::testing::FakeUIApplication;

class Waking : public testing::TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    registry_ = std::make_shared<FakeRegistry>();
    viber_ = std::make_shared<FakeApplication>("com.viber");
    registry_->installed = viber_;
    platform::runtime::registerClass(
        std::make_shared<springboard::SBApplicationControllerClass>(registry_));
    application_ = std::make_shared<FakeUIApplication>();
    springboard::setSharedApplication(application_);
  }
  void TearDown() override {
    springboard::setSharedApplication(nullptr);
    TweakTest::TearDown();
  }

  std::vector<std::string> wakingLines() const {
    std::vector<std::string> out;
    for (auto& l : log_.lines()) {
      if (l.find("Viber app") != std::string::npos ||
          l.find("application state") != std::string::npos) {
        out.push_back(l);
      }
    }
    return out;
  }

  std::shared_ptr<FakeRegistry> registry_;
  std::shared_ptr<FakeApplication> viber_;
  std::shared_ptr<FakeUIApplication> application_;
  std::shared_ptr<ORVViberCouriaExtension> extension_ = ORVViberCouriaExtension::create();
};

TEST_F(Waking, TheDisplayIdentifierLookupIsTriedFirst) {
  registry_->byDisplayIdentifier = true;
  registry_->byBundleIdentifier = true;
  EXPECT_EQ(extension_->appWithIdentifier(), viber_);
  registry_->byDisplayIdentifier = false;
  EXPECT_EQ(extension_->appWithIdentifier(), viber_);
  registry_->byBundleIdentifier = false;
  EXPECT_EQ(extension_->appWithIdentifier(), nullptr);
  EXPECT_EQ(registry_->lookups,
            (std::vector<std::string>{"display:com.viber", "bundle:com.viber"}));
}

TEST_F(Waking, ForegroundViberIsLeftAlone) {
  viber_->states = {springboard::SBApplicationStateForeground};
  extension_->startWakingViber();
  EXPECT_EQ(viber_->resumes, 0);
  EXPECT_TRUE(application_->launches.empty());
  EXPECT_EQ(loop_->pendingTimers(), 0u);
  EXPECT_TRUE(wakingLines().empty());
}

TEST_F(Waking, SuspendedOrBackgroundViberIsResumedOnce) {
  for (int state :
       {springboard::SBApplicationStateSuspended, springboard::SBApplicationStateBackground}) {
    viber_->resumes = 0;
    viber_->states = {state};
    extension_->startWakingViber();
    EXPECT_EQ(viber_->resumes, 1) << state;
    EXPECT_TRUE(application_->launches.empty());
    EXPECT_TRUE(center_->posts().empty());
  }
}

TEST_F(Waking, NotRunningViberIsLaunchedAndNotifiedAgainTwoSecondsLater) {
  viber_->states = {springboard::SBApplicationStateNotRunning};
  extension_->startWakingViber();
  EXPECT_EQ(application_->launches, std::vector<std::string>{"com.viber suspended"});
  EXPECT_EQ(loop_->requestedDelays(), std::vector<double>{2.0});
  EXPECT_TRUE(center_->posts().empty());
  viber_->states = {springboard::SBApplicationStateBackground};
  std::weak_ptr<ORVViberCouriaExtension> weak = extension_;
  extension_.reset();  // the timer keeps the extension alive
  loop_->advance(platform::runloop::Seconds(1.9));
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_FALSE(weak.expired());
  loop_->advance(platform::runloop::Seconds(0.2));
  EXPECT_EQ(center_->posts(), std::vector<std::string>{kSendMessageNotification});
  EXPECT_EQ(viber_->resumes, 1);
  EXPECT_EQ(wakingLines(),
            std::vector<std::string>{
                "PXVIBER: Viber application state after launching is 4, state name: state-4"});
  EXPECT_TRUE(weak.expired());
}

TEST_F(Waking, TheStateIsReadAfreshForEachTest) {
  // Background at the first test, suspended at the second: judged by the later
  // reading, which is a resume all the same; not running by the third reading
  // means a launch.
  viber_->states = {springboard::SBApplicationStateForeground,
                    springboard::SBApplicationStateForeground,
                    springboard::SBApplicationStateNotRunning};
  extension_->startWakingViber();
  EXPECT_EQ(viber_->stateReadings, 3);
  EXPECT_EQ(application_->launches.size(), 1u);
}

TEST_F(Waking, MissingViberLogsAlwaysAndDebugLinesFollowTheSetting) {
  registry_->installed = nullptr;
  extension_->startWakingViber();
  EXPECT_EQ(wakingLines(), std::vector<std::string>{"PXVIBER: Viber app is nil"});
  log_.clear();
  registry_->installed = viber_;
  viber_->states = {springboard::SBApplicationStateSuspended};
  settings().debugMode = true;
  extension_->startWakingViber();
  EXPECT_EQ(wakingLines(),
            std::vector<std::string>{"PXVIBER: Viber application state is 2, state name: state-2"});
}

TEST_F(Waking, AWakeWithoutViberLogsStateZero) {
  registry_->installed = nullptr;
  extension_->wakeAppToSendMessage();
  EXPECT_EQ(wakingLines(),
            std::vector<std::string>{
                "PXVIBER: Viber application state after launching is 0, state name: (null)"});
  EXPECT_EQ(center_->postCount(kSendMessageNotification), 1);
}

}  // namespace
}  // namespace tweak
