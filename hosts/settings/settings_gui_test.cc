// The Settings app on a running device, under a virtual X display: the widgets
// edit the settings file, the springboard's tweak hears of each change, and the
// pages are saved as pictures under the build folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"

namespace {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

class SettingsAppTest : public tests::DeviceTest {
 protected:
  void TearDown() override {
    if (app_ > 0) {
      ::kill(app_, SIGTERM);
      ::waitpid(app_, nullptr, 0);
    }
    center_.reset();
    tests::DeviceTest::TearDown();
  }

  // Starts the app on the device; answers once it serves requests.
  void launchSettings(const std::vector<std::string>& extra = {}) {
    app_ = spawnSettings(extra);
    fs::path pid = root_ / "private/var/run/Preferences.pid";
    for (int i = 0; i < 6000 && !fs::exists(pid); ++i) {
      ASSERT_NE(::waitpid(app_, nullptr, WNOHANG), app_) << "the app exited; see " << output();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(pid)) << "the app never became ready; see " << output();
    loop_ = platform::runloop::makeEventRunLoop();
    center_ = pxviber::joinDeviceBus(root_, *loop_);
  }

  pid_t spawnSettings(const std::vector<std::string>& extra) {
    std::vector<std::string> args{(pxviber::programFolder() / "settings").string(), "--root",
                                  root_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string out = output();
    pid_t pid = ::fork();
    if (pid == 0) {
      int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return pid;
  }

  std::string output() const { return (tmp_ / "settings.out").string(); }

  Dictionary request(Dictionary r) {
    return platform::runtime::sendHostRequest(*center_, *loop_, "Preferences", r,
                                              platform::runloop::Seconds(60));
  }

  static std::string text(const Dictionary& d, const char* key) {
    const Value* v = platform::foundation::find(d, key);
    return v ? v->description() : "(none)";
  }

  // The value the app shows for `key`, as text.
  std::string shown(const std::string& key) {
    Dictionary state = request({{"command", Value("state")}});
    const Value* rows = platform::foundation::find(state, "rows");
    const Value* v = rows && rows->asDictionary()
                         ? platform::foundation::find(*rows->asDictionary(), key)
                         : nullptr;
    return v ? v->description() : "(none)";
  }

  // The keys of the fields marked as refused, as a property-list array.
  std::string refused() { return text(request({{"command", Value("state")}}), "refused"); }

  Dictionary settingsFile() const {
    return platform::foundation::readDictionaryFile(
               root_ /
               "private/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist")
        .value_or(Dictionary{});
  }

  // Waits for the springboard's reload line that holds `part`.
  bool springboardReloaded(const std::string& part) {
    for (int i = 0; i < 500; ++i) {
      for (auto& line : messages("PXVIBER: preferences reloaded:")) {
        if (line.rfind("SpringBoard: ", 0) == 0 && line.find(part) != std::string::npos)
          return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Saves the window once no page is moving.
  void snapshot(const char* name) {
    for (int i = 0; i < 200 && text(request({{"command", Value("state")}}), "settled") != "1"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // A page that has just re-laid itself out may have nothing to render for a
    // moment; the snapshot is tried again on a later frame.
    Dictionary saved;
    for (int attempt = 0; attempt < 20; ++attempt) {
      saved = request({{"command", Value("snapshot")}, {"path", Value(screenshot(name).string())}});
      if (text(saved, "written") == "1") break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(text(saved, "written"), "1") << name;
  }

  // The screenshot folder under the build folder, made on first use: a fresh
  // build has none yet.
  static fs::path screenshot(const char* name) {
    fs::path folder(PXVIBER_SCREENSHOT_DIR);
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder / name;
  }

  pid_t app_ = -1;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
};

TEST_F(SettingsAppTest, TheWidgetsEditTheSettingsFileAndTheSpringboardReloads) {
  createDevice();
  writeSettings(Dictionary{{"messageText", Value("waiting")}, {"conversationID", Value("7")}});
  start();
  launchSettings();

  Dictionary opened = request({{"command", Value("open")}, {"pane", Value("Parlex for Viber")}});
  EXPECT_EQ(text(opened, "title"), "Parlex for Viber");
  EXPECT_EQ(text(opened, "pages"), "1");
  // Absent keys show the tweak's defaults.
  EXPECT_EQ(shown("debugMode"), "0");
  EXPECT_EQ(shown("fetchHistoryFromDB"), "1");
  EXPECT_EQ(shown("historyDaysToDisplay"), "3");
  EXPECT_EQ(shown("maxMessagesToDisplay"), "10");

  Dictionary toggled = request({{"command", Value("toggle")}, {"key", Value("debugMode")}});
  EXPECT_EQ(text(toggled, "value"), "1");
  EXPECT_TRUE(springboardReloaded("debugMode=1"));

  Dictionary typed = request(
      {{"command", Value("type")}, {"key", Value("historyDaysToDisplay")}, {"text", Value("7")}});
  EXPECT_EQ(text(typed, "accepted"), "1");
  EXPECT_TRUE(springboardReloaded("historyDaysToDisplay=7"));
  for (const char* bad : {"abc", "31", "0", "2.5"}) {
    Dictionary refused = request(
        {{"command", Value("type")}, {"key", Value("historyDaysToDisplay")}, {"text", Value(bad)}});
    EXPECT_EQ(text(refused, "accepted"), "0") << bad;
  }
  EXPECT_EQ(settingsFile(), (Dictionary{{"conversationID", Value("7")},
                                        {"debugMode", Value(true)},
                                        {"historyDaysToDisplay", Value(7)},
                                        {"messageText", Value("waiting")}}));
  // The refused text stays in the field, marked, until a good one replaces it,
  // also when the good one is the value stored already.
  EXPECT_EQ(shown("historyDaysToDisplay"), "2.5");
  EXPECT_EQ(refused(), "(\n    historyDaysToDisplay\n)");
  snapshot("gui-number-refused.png");
  Dictionary retyped = request(
      {{"command", Value("type")}, {"key", Value("historyDaysToDisplay")}, {"text", Value("7")}});
  EXPECT_EQ(text(retyped, "accepted"), "1");
  EXPECT_EQ(refused(), "(\n)");
  snapshot("gui-settings-pane.png");

  request({{"command", Value("tap")}, {"action", Value("viewOtherApps")}});
  Dictionary page = request({{"command", Value("state")}});
  EXPECT_EQ(text(page, "title"), "My tweaks");
  EXPECT_EQ(text(page, "pages"), "2");
  // No network here: the load fails and the label goes.
  for (int i = 0; i < 600 && text(page, "labelShown") != "0"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    page = request({{"command", Value("state")}});
  }
  EXPECT_EQ(text(page, "labelShown"), "0");
  snapshot("gui-other-apps.png");

  Dictionary back = request({{"command", Value("back")}});
  EXPECT_EQ(text(back, "pages"), "1");
  EXPECT_EQ(text(back, "title"), "Parlex for Viber");
}

TEST_F(SettingsAppTest, TheScreenshotRunSavesThePaneAndTheOtherAppsPage) {
  createDevice();
  fs::path dir = tmp_ / "shots";
  pid_t pid = spawnSettings({"--screenshot", dir.string()});
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "see " << output();
  for (const char* name : {"settings-pane.png", "other-apps.png"}) {
    ASSERT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_GT(fs::file_size(dir / name), 1000u) << name;
    fs::create_directories(PXVIBER_SCREENSHOT_DIR);
    fs::copy_file(dir / name, screenshot(name), fs::copy_options::overwrite_existing);
  }
}

TEST_F(SettingsAppTest, BadEntriesAndListsAreShownAsFarAsTheyGoAndReported) {
  createDevice();
  fs::path entries = root_ / "Library/PreferenceLoader/Preferences";
  fs::path bundle = root_ / "Library/PreferenceBundles/Odd.bundle";
  std::string junk = "not a property list";
  ASSERT_TRUE(platform::foundation::writeFileAtomically(
      entries / "Broken.plist",
      std::span(reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size())));
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      entries / "Odd.plist",
      Dictionary{{"entry", Value(Dictionary{{"bundle", Value("Odd")}, {"label", Value("Odd")}})}}));
  fs::create_directories(bundle);
  fs::create_symlink(
      root_ / "Library/PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences",
      bundle / "PXViberPreferences");
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      bundle / "Info.plist",
      Dictionary{{"CFBundleExecutable", Value("PXViberPreferences")},
                 {"NSPrincipalClass", Value("PXViberPreferencesListController")}}));
  platform::foundation::Array items{
      Value(Dictionary{{"cell", Value("PSSliderCell")}, {"label", Value("Volume")}}),
      Value(Dictionary{{"cell", Value("PSSwitchCell")},
                       {"label", Value("Debug mode")},
                       {"key", Value("debugMode")},
                       {"default", Value(platform::foundation::Array{})},
                       {"defaults", Value("org.northquay.pxviberpreferences")}}),
      Value(Dictionary{{"cell", Value("PSEditTextCell")},
                       {"label", Value("Days of history")},
                       {"key", Value("historyDaysToDisplay")},
                       {"keyboard", Value("numbers")},
                       {"defaults", Value("org.northquay.pxviberpreferences")}}),
      Value("loose text")};
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      bundle / "PXViberPreferences.plist", Dictionary{{"items", Value(items)}}));
  // A string where a number belongs is shown as Foundation reads it.
  writeSettings(Dictionary{{"historyDaysToDisplay", Value("12 days")}});
  start();
  launchSettings();

  Dictionary state = request({{"command", Value("state")}});
  EXPECT_EQ(text(state, "skippedPanes"),
            "(\n    \"Broken.plist: not a property list, skipped\"\n)");
  request({{"command", Value("open")}, {"pane", Value("Odd")}});
  EXPECT_EQ(shown("debugMode"), "0");
  EXPECT_EQ(shown("historyDaysToDisplay"), "12");
  state = request({{"command", Value("state")}});
  const Value* skipped = platform::foundation::find(state, "skipped");
  ASSERT_TRUE(skipped && skipped->asArray());
  EXPECT_EQ(*skipped->asArray(),
            (platform::foundation::Array{
                Value("item 1 (\"Volume\"): unknown cell \"PSSliderCell\", skipped"),
                Value("item 2 (\"Debug mode\"): default is neither a number nor a string, ignored"),
                Value("item 4: not a dictionary, skipped")}));
  snapshot("gui-skipped-rows.png");
  // The app is still answering.
  EXPECT_EQ(text(request({{"command", Value("back")}}), "pages"), "0");
}

}  // namespace
