#include <fmt/format.h>
#include <fmt/ranges.h>

#include <deque>

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

TEST_F(Waking, NotRunningViberIsLaunchedAndNotifiedAgainTwoSecondsLaterThenResumed) {
  viber_->states = {springboard::SBApplicationStateNotRunning};
  extension_->startWakingViber();
  EXPECT_EQ(application_->launches, std::vector<std::string>{"com.viber suspended"});
  EXPECT_EQ(loop_->requestedDelays(), std::vector<double>{2.0});
  EXPECT_TRUE(center_->posts().empty());
  viber_->states = {springboard::SBApplicationStateBackground};
  std::vector<std::size_t> postsAtResume;
  viber_->whenResumed = [&] { postsAtResume.push_back(center_->posts().size()); };
  std::weak_ptr<ORVViberCouriaExtension> weak = extension_;
  extension_.reset();  // the timer keeps the extension alive
  loop_->advance(platform::runloop::Seconds(1.9));
  EXPECT_TRUE(center_->posts().empty());
  EXPECT_FALSE(weak.expired());
  loop_->advance(platform::runloop::Seconds(0.2));
  EXPECT_EQ(center_->posts(), std::vector<std::string>{"org.northquay.parlexviber.sendMessage"});
  // One resume, after the post: the resumed Viber is to find the notification
  // waiting.
  EXPECT_EQ(postsAtResume, std::vector<std::size_t>{1});
  EXPECT_EQ(wakingLines(),
            std::vector<std::string>{
                "PXVIBER: Viber application state after launching is 4, state name: state-4"});
  EXPECT_TRUE(weak.expired());
}

// Each test reads the state afresh: a script of readings tells which tests ran
// and what each did. A test that acts stops there; one that does not goes on to
// the next with a new reading.
TEST_F(Waking, TheStateIsReadAfreshForEachTestAndTheFirstThatActsEndsThem) {
  struct Case {
    std::deque<int> states;
    int readings;
    int resumes;
    std::size_t launches;
  };
  const int suspended = springboard::SBApplicationStateSuspended,
            background = springboard::SBApplicationStateBackground,
            foreground = springboard::SBApplicationStateForeground,
            notRunning = springboard::SBApplicationStateNotRunning;
  const Case cases[] = {
      // Suspended at the first test: resumed, and no test follows.
      {{suspended, background, notRunning}, 1, 1, 0},
      // Background by the second reading: resumed, and the third test does not run.
      {{foreground, background, notRunning}, 2, 1, 0},
      // Background at the first reading, suspended at the second: neither test
      // matches its own reading; not running by the third is a launch.
      {{background, suspended, notRunning}, 3, 0, 1},
      // In the foreground at every reading: nothing.
      {{foreground}, 3, 0, 0},
  };
  for (const Case& c : cases) {
    viber_->states = c.states;
    viber_->stateReadings = viber_->resumes = 0;
    application_->launches.clear();
    extension_->startWakingViber();
    const std::string script = fmt::format("{}", c.states);
    EXPECT_EQ(viber_->stateReadings, c.readings) << script;
    EXPECT_EQ(viber_->resumes, c.resumes) << script;
    EXPECT_EQ(application_->launches.size(), c.launches) << script;
  }
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
