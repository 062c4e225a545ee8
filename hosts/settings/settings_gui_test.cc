// The Settings app on a running device, under a virtual X display: the widgets
// edit the settings file, the springboard's tweak hears of each change, and the
// pages are saved as pictures under the build folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/foundation/child_process.h"
#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "tests/device_fixture.h"
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
    tests::DeviceTest::TearDown();
  }

  // Starts the app on the device; answers once it serves requests.
  void launchSettings() {
    app_ = spawnSettings({});
    fs::path pid = root_ / "private/var/run/Preferences.pid";
    bool exited = false;
    waitFor(
        [&] { return fs::exists(pid) || (exited = ::waitpid(app_, nullptr, WNOHANG) == app_); });
    ASSERT_FALSE(exited) << "the app exited; see " << output();
    ASSERT_TRUE(fs::exists(pid)) << "the app never became ready; see " << output();
  }

  pid_t spawnSettings(const std::vector<std::string>& extra) {
    std::vector<std::string> args{(pxviber::programFolder() / "settings").string(), "--root",
                                  root_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return platform::foundation::startChild({.arguments = args, .output = output()});
  }

  std::string output() const { return (tmp_ / "settings.out").string(); }

  Dictionary request(const Dictionary& r) { return ask("Preferences", r); }

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
    return waitFor([&] {
      for (auto& line : messages("PXVIBER: preferences reloaded:")) {
        if (line.rfind("SpringBoard: ", 0) == 0 && line.find(part) != std::string::npos)
          return true;
      }
      return false;
    });
  }

  // Saves the window once no page is moving. A page that has just re-laid itself
  // out may have nothing to render for a moment; the snapshot is tried again on
  // a later frame.
  void snapshot(const char* name) {
    EXPECT_TRUE(waitFor([&] {
      return text(request({{"command", Value("state")}}), "settled") == "1";
    })) << name;
    EXPECT_TRUE(waitFor([&] {
      auto saved =
          request({{"command", Value("snapshot")}, {"path", Value(screenshot(name).string())}});
      return text(saved, "written") == "1";
    })) << name;
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
  EXPECT_EQ(shown("markReadOnReply"), "1");

  Dictionary toggled = request({{"command", Value("toggle")}, {"key", Value("debugMode")}});
  EXPECT_EQ(text(toggled, "value"), "1");
  EXPECT_TRUE(springboardReloaded("debugMode=1"));
  // The switch beside the five: off keeps a replied conversation unread.
  Dictionary kept = request({{"command", Value("toggle")}, {"key", Value("markReadOnReply")}});
  EXPECT_EQ(text(kept, "value"), "0");
  EXPECT_TRUE(springboardReloaded("markReadOnReply=0"));
  EXPECT_EQ(shown("markReadOnReply"), "0");

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
                                        {"markReadOnReply", Value(false)},
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
  EXPECT_TRUE(waitFor([&] {
    return text(request({{"command", Value("state")}}), "labelShown") == "0";
  }));
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
