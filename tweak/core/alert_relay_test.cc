#include "tweak/core/alert_relay.h"

#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

using platform::foundation::Value;

class AlertRelay : public testing::TweakTest {
 protected:
  // The alerts shown so far as "title|message|buttons", one per entry.
  std::vector<std::string> shown() const {
    std::vector<std::string> out;
    for (auto& a : alerts_.shown()) {
      std::string buttons;
      for (auto& b : a.buttons) buttons += b;
      out.push_back(a.title.value_or("(nil)") + "|" + a.message.value_or("(nil)") + "|" + buttons);
    }
    return out;
  }
};

TEST_F(AlertRelay, WithAlertsOffNothingIsWrittenOrPosted) {
  settings().showAlerts = false;
  showAlert("PXVIBER Error", "text");
  EXPECT_EQ(file(), "NONE");
  EXPECT_TRUE(center_->posts().empty());
}

TEST_F(AlertRelay, AlertTravelsThroughTheFileAndIsShownWithOneOKButton) {
  settings().showAlerts = true;
  writeFile({{"debugMode", Value(true)}});
  showAlert("PXVIBER Error", "Unable to match conversation. Message not sent.");
  EXPECT_EQ(file(),
            "alertMessage=Unable to match conversation. Message not sent.,alertTitle=PXVIBER "
            "Error,debugMode=1");
  EXPECT_EQ(center_->posts(), std::vector<std::string>{kShowAlertNotification});
  // The springboard shows it whatever its own settings say.
  settings().showAlerts = false;
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{
                         "PXVIBER Error|Unable to match conversation. Message not sent.|OK"});
}

// The springboard then shows what the file holds: an older alert is better than
// a failure the user never hears of.
TEST_F(AlertRelay, AnAlertWhoseWriteFailsIsPostedAllTheSame) {
  settings().showAlerts = true;
  writeFile({{"alertTitle", Value("PXVIBER Error")}, {"alertMessage", Value("older")}});
  // The writer's lock cannot be taken: nothing may be written.
  std::filesystem::create_directory(preferencesPath().string() + ".lock");
  showAlert("PXVIBER Error", "Unable to send picture message.");
  EXPECT_EQ(file(), "alertMessage=older,alertTitle=PXVIBER Error");
  EXPECT_EQ(center_->posts(), std::vector<std::string>{"org.northquay.parlexviber.showAlert"});
}

TEST_F(AlertRelay, ReplyLinesHaveTheirOwnKeyAndAreShownUnderTheMessageUntilTheNextAlert) {
  settings().showAlerts = true;
  showReplyAlert("PXVIBER Error", "Unable to match conversation. Message not sent.",
                 "Reply to conversation 7: \"hi\"");
  // The message key holds the failure's text alone, as readers of the file know it.
  EXPECT_EQ(file(),
            "alertMessage=Unable to match conversation. Message not sent.,alertReplies=Reply to "
            "conversation 7: \"hi\",alertTitle=PXVIBER Error");
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  showAlert("PXVIBER Error", "Unable to send picture message.");
  EXPECT_EQ(file(), "alertMessage=Unable to send picture message.,alertTitle=PXVIBER Error");
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(shown(), (std::vector<std::string>{
                         "PXVIBER Error|Unable to match conversation. Message not sent.\nReply "
                         "to conversation 7: \"hi\"|OK",
                         "PXVIBER Error|Unable to send picture message.|OK"}));
}

TEST_F(AlertRelay, NilTitleKeepsTheOlderTitle) {
  settings().showAlerts = true;
  showAlert("First", "one");
  showAlert(std::nullopt, "two");
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{"First|two|OK"});
}

TEST_F(AlertRelay, NoAlertKeysShowsAnEmptyAlertAndTheFileIsUntouched) {
  writeFile({{"showAlerts", Value(true)}});
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{"(nil)|(nil)|OK"});
  EXPECT_EQ(file(), "showAlerts=1");
}

TEST_F(AlertRelay, NilMessageKeepsTheOlderMessage) {
  settings().showAlerts = true;
  showAlert("First", "one");
  showAlert("Second", std::nullopt);
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{"Second|one|OK"});
}

TEST_F(AlertRelay, TwoAlertsInQuickSuccessionAreEachShownWithTheTextsOfTheirShowing) {
  settings().showAlerts = true;
  center_->addObserver(nullptr, showAlertCallback, kShowAlertNotification,
                       platform::notify::SuspensionBehavior::DeliverImmediately);
  showAlert("PXVIBER Error", "Unable to match conversation. Message not sent.");
  showAlert("PXVIBER Error", "Unable to send picture message.");
  // Both posts wait; each delivery shows what the file holds when it runs.
  loop_->runPending();
  EXPECT_EQ(shown(),
            (std::vector<std::string>{"PXVIBER Error|Unable to send picture message.|OK",
                                      "PXVIBER Error|Unable to send picture message.|OK"}));
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 2);
}

// Another alert is written right after the callback has read the file: the
// alert shown is the first one whole, never its message under the next title.
TEST_F(AlertRelay, AnAlertWrittenWhileTheCallbackReadsIsNotMixedIn) {
  settings().showAlerts = true;
  showAlert("First", "one");
  int readings = 0;
  setMailboxReaderForTesting([&readings] {
    auto file = platform::foundation::readDictionaryFile(preferencesPath());
    if (++readings == 1) showAlert("Second", "two");
    return file;
  });
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(shown(), std::vector<std::string>{"First|one|OK"});
  EXPECT_EQ(readings, 1);
}

TEST_F(AlertRelay, TheShowingSideLeavesTheFileAsItWas) {
  settings().showAlerts = true;
  writeFile({{"debugMode", Value(true)}, {"messageText", Value("pending")}});
  showAlert("T", "M");
  std::string before = file();
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  showAlertCallback(nullptr, nullptr, kShowAlertNotification, nullptr, nullptr);
  EXPECT_EQ(file(), before);
  EXPECT_EQ(shown(), (std::vector<std::string>{"T|M|OK", "T|M|OK"}));
}

}  // namespace
}  // namespace tweak
