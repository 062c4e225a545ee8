#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/recording_log.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/preferences/page_stack.h"
#include "platform/preferences/settings_store.h"
#include "platform/preferences/testing/fake_services.h"
#include "prefs/other_apps_view_controller.h"
#include "prefs/preferences_list_controller.h"

namespace prefs {
namespace {

using namespace platform::preferences;
using platform::foundation::Dictionary;
using platform::foundation::Value;

constexpr const char* kDomain = "org.northquay.pxviberpreferences";
constexpr const char* kChanged = "org.northquay.parlexviber.preferencesChanged";

Value shippedList() {
  auto bytes = platform::foundation::readFile(std::string(PXVIBER_PREFS_SOURCE_DIR) +
                                              "/Resources/PXViberPreferences.plist");
  EXPECT_TRUE(bytes);
  auto root = bytes ? platform::foundation::parsePropertyList(*bytes) : std::nullopt;
  EXPECT_TRUE(root);
  return root.value_or(Value());
}

const PSSpecifier* rowWithKey(const SpecifierList& list, const std::string& key) {
  for (auto& s : list.items) {
    if (s.key == key) return &s;
  }
  return nullptr;
}

const PSSpecifier* rowWithAction(const SpecifierList& list, const std::string& action) {
  for (auto& s : list.items) {
    if (s.action == action) return &s;
  }
  return nullptr;
}

std::string frameText(CGRect f) {
  return fmt::format("{},{} {}x{}", f.origin.x, f.origin.y, f.size.width, f.size.height);
}

class PrefsTest : public ::testing::Test {
 protected:
  void SetUp() override { setDefaultPageFrame(CGRectMake(0, 0, 375, 603)); }

  // The list controller as the Settings app holds it: on a page stack.
  std::shared_ptr<PXViberPreferencesListController> openPane() {
    auto pane = std::make_shared<PXViberPreferencesListController>();
    pane->setBundlePath("/Library/PreferenceBundles/PXViberPreferences.bundle");
    stack.push(pane, false);
    return pane;
  }

  platform::preferences::testing::FakeServices fakes;
  PageStack stack;
};

TEST_F(PrefsTest, SpecifiersAreLoadedOnceAndTheSameArrayAnswered) {
  fakes.lists->set(kSpecifierListName, shippedList());
  auto pane = openPane();
  Specifiers first = pane->specifiers();
  ASSERT_TRUE(first);
  EXPECT_EQ(pane->specifiers(), first);
  EXPECT_EQ(fakes.lists->loads(),
            std::vector<std::string>{
                "/Library/PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences"});
  EXPECT_EQ(rowWithAction(*first, "viewOtherApps")->target, pane.get());
}

TEST_F(PrefsTest, ANilLoadIsTriedAgainOnTheNextCall) {
  auto pane = openPane();
  EXPECT_EQ(pane->specifiers(), nullptr);
  fakes.lists->set(kSpecifierListName, shippedList());
  Specifiers second = pane->specifiers();
  ASSERT_TRUE(second);
  EXPECT_EQ(pane->specifiers(), second);
  EXPECT_EQ(fakes.lists->loads().size(), 2u);
}

TEST_F(PrefsTest, TwoTapsOnTheOtherAppsRowPushTwoSeparatePages) {
  fakes.lists->set(kSpecifierListName, shippedList());
  auto pane = openPane();
  const PSSpecifier* row = rowWithAction(*pane->specifiers(), "viewOtherApps");
  ASSERT_TRUE(row);
  ASSERT_TRUE(row->target->performSelector(*row->action));
  ASSERT_TRUE(row->target->performSelector(*row->action));
  ASSERT_EQ(stack.pages().size(), 3u);
  EXPECT_NE(stack.pages()[1], stack.pages()[2]);
  EXPECT_EQ(stack.pages()[1]->className(), "PXViberOtherAppsViewController");
  EXPECT_EQ(stack.pages()[2]->className(), "PXViberOtherAppsViewController");
  EXPECT_TRUE(stack.lastAnimated());
  // The stack is each page's only owner.
  EXPECT_EQ(stack.pages()[1].use_count(), 1);
}

TEST_F(PrefsTest, TheFollowRowOpensTheMakersProfile) {
  fakes.lists->set(kSpecifierListName, shippedList());
  auto pane = openPane();
  const PSSpecifier* row = rowWithAction(*pane->specifiers(), "followOnTwitter");
  ASSERT_TRUE(row);
  fakes.urls->setAnswer(false);  // an URL nobody opens is not reported
  row->target->performSelector(*row->action);
  EXPECT_EQ(fakes.urls->opened(),
            std::vector<std::string>{"https://twitter.com/intent/user?screen_name=OrvellSoft"});
  EXPECT_EQ(stack.pages().size(), 1u);
}

TEST_F(PrefsTest, TheShippedListOffersTheSixSettingsStoredInTheSettingsFile) {
  PXViberPreferencesListController pane;
  auto list = parseSpecifierList(shippedList(), &pane, nullptr);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->skipped.empty());
  struct Expected {
    const char* key;
    CellType cell;
    Value fallback;
  };
  for (const Expected& e : {Expected{"fetchHistoryFromDB", CellType::Switch, Value(true)},
                            Expected{"historyDaysToDisplay", CellType::EditText, Value(3)},
                            Expected{"maxMessagesToDisplay", CellType::EditText, Value(10)},
                            Expected{"debugMode", CellType::Switch, Value(false)},
                            Expected{"showAlerts", CellType::Switch, Value(true)},
                            Expected{"markReadOnReply", CellType::Switch, Value(true)}}) {
    SCOPED_TRACE(e.key);
    const PSSpecifier* row = rowWithKey(*list, e.key);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->cell, e.cell);
    EXPECT_EQ(row->defaults, kDomain);
    EXPECT_EQ(row->defaultValue, e.fallback);
    EXPECT_EQ(row->postNotification, kChanged);
    if (e.cell == CellType::EditText) {
      EXPECT_EQ(row->keyboard, KeyboardType::Numbers);
      EXPECT_EQ(row->minimum, 1);
    }
  }
  EXPECT_EQ(rowWithKey(*list, "historyDaysToDisplay")->maximum, 30);
  EXPECT_EQ(rowWithKey(*list, "maxMessagesToDisplay")->maximum, 50);
  EXPECT_EQ(rowWithAction(*list, "followOnTwitter")->cell, CellType::Button);
  EXPECT_EQ(rowWithAction(*list, "viewOtherApps")->cell, CellType::Button);
}

// The pane against real files in a scratch device.
class PrefsFileTest : public PrefsTest {
 protected:
  void SetUp() override {
    PrefsTest::SetUp();
    platform::foundation::setDeviceRoot(root_);
    std::filesystem::create_directories(root_ / "var/mobile/Library/Preferences");
    file_ = root_ / "var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";
    services().store = makeFileSettingsStore();
    fakes.lists->set(kSpecifierListName, shippedList());
    pane_ = openPane();
  }
  void TearDown() override { platform::foundation::setDeviceRoot("/"); }

  // The six values as the pane shows them: "1 3 10 0 1 1".
  std::string shown() {
    std::string out;
    for (const char* key : {"fetchHistoryFromDB", "historyDaysToDisplay", "maxMessagesToDisplay",
                            "debugMode", "showAlerts", "markReadOnReply"}) {
      const PSSpecifier& row = *rowWithKey(*pane_->specifiers(), key);
      Value v = pane_->readPreferenceValue(row);
      if (!out.empty()) out += " ";
      out += row.cell == CellType::Switch ? std::to_string(int(v.boolValue().value_or(false)))
                                          : std::to_string(v.longLongValue().value_or(-999));
    }
    return out;
  }

  platform::foundation::testing::ScratchFolder scratch_{"px-prefs"};
  std::filesystem::path root_ = scratch_.path();
  std::filesystem::path file_;
  std::shared_ptr<PXViberPreferencesListController> pane_;
};

TEST_F(PrefsFileTest, WithoutAFileTheDefaultsAreShown) { EXPECT_EQ(shown(), "1 3 10 0 1 1"); }

TEST_F(PrefsFileTest, StoredValuesAreShownAsTheTweakReadsThem) {
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      file_, Dictionary{{"historyDaysToDisplay", Value("12 days")},
                        {"maxMessagesToDisplay", Value(0)},
                        {"fetchHistoryFromDB", Value("no")},
                        {"debugMode", Value(2.5)},
                        {"markReadOnReply", Value("NO")}}));
  EXPECT_EQ(shown(), "0 12 0 1 1 0");
}

TEST_F(PrefsFileTest, AStoredChangeLandsInTheFileWithTheOtherKeysKeptAndIsAnnounced) {
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      file_, Dictionary{{"messageText", Value("hello")},
                        {"conversationID", Value("42")},
                        {"alertTitle", Value("PXVIBER Error")},
                        {"historyDaysToDisplay", Value(3)}}));
  const PSSpecifier* debug = rowWithKey(*pane_->specifiers(), "debugMode");
  const PSSpecifier* days = rowWithKey(*pane_->specifiers(), "historyDaysToDisplay");
  ASSERT_TRUE(pane_->setPreferenceValue(Value(true), *debug));
  ASSERT_TRUE(pane_->setPreferenceValue(Value(7), *days));
  EXPECT_EQ(platform::foundation::readDictionaryFile(file_),
            (Dictionary{{"alertTitle", Value("PXVIBER Error")},
                        {"conversationID", Value("42")},
                        {"debugMode", Value(true)},
                        {"historyDaysToDisplay", Value(7)},
                        {"messageText", Value("hello")}}));
  EXPECT_EQ(fakes.center->posts(), (std::vector<std::string>{kChanged, kChanged}));
  EXPECT_EQ(shown(), "1 7 10 1 1 1");
}

// The other-apps page.
class OtherAppsTest : public PrefsTest {
 protected:
  std::shared_ptr<PXViberOtherAppsViewController> pushPage() {
    auto page = std::make_shared<PXViberOtherAppsViewController>();
    stack.push(page, true);
    page->view();
    return page;
  }
  std::string subviewClasses(UIViewController& page) {
    std::string out;
    for (auto& v : page.view().subviews()) out += v->className() + " ";
    return out;
  }
};

TEST_F(OtherAppsTest, BuildsAWebViewUnderTheLoadingLabel) {
  auto page = pushPage();
  EXPECT_EQ(page->navigationItem().title(), "My tweaks");
  EXPECT_EQ(subviewClasses(*page), "UIWebView UILabel ");
  auto* web = dynamic_cast<UIWebView*>(page->view().subviews()[0].get());
  ASSERT_TRUE(web);
  EXPECT_EQ(frameText(web->frame()), "0,0 375x603");
  EXPECT_EQ(web->autoresizingMask(), 18u);
  EXPECT_EQ(web->backgroundColor(), UIColor::clearColor());
  EXPECT_EQ(web->delegate(), page.get());
  EXPECT_EQ(fakes.web->loads(),
            std::vector<std::string>{"http://northquay.org/OrvellApps_all.htm"});
  const auto& label = page->label();
  ASSERT_TRUE(label);
  EXPECT_EQ(page->view().subviews()[1], label);
  EXPECT_EQ(frameText(label->frame()), "0,301.5 320x50");
  EXPECT_EQ(label->text(), "Loading web page...");
  EXPECT_EQ(label->textAlignment(), NSTextAlignment::Center);
  EXPECT_EQ(label->backgroundColor(), UIColor::clearColor());
  EXPECT_EQ(label->autoresizingMask(), 0u);
}

TEST_F(OtherAppsTest, TheLabelKeepsItsFrameWhenTheViewGrows) {
  auto page = pushPage();
  page->view().setFrame(CGRectMake(0, 0, 768, 960));
  EXPECT_EQ(frameText(page->view().subviews()[0]->frame()), "0,0 768x960");
  EXPECT_EQ(frameText(page->label()->frame()), "0,301.5 320x50");
}

TEST_F(OtherAppsTest, SeveralFinishCallbacksRemoveTheLabelOnceAfterTheyReturn) {
  auto page = pushPage();
  int changes = 0;
  page->view().setChangeHandler([&] { ++changes; });
  fakes.web->finish();
  fakes.web->finish();
  fakes.web->finish();
  // Queued to the main loop, not done inside the callbacks.
  EXPECT_EQ(subviewClasses(*page), "UIWebView UILabel ");
  fakes.loop->runPending();
  EXPECT_EQ(subviewClasses(*page), "UIWebView ");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(page->label());  // kept after its removal
  EXPECT_EQ(page->label()->superview(), nullptr);
  // A later load of the same web view does not bring it back.
  fakes.web->finish();
  fakes.loop->runPending();
  EXPECT_EQ(changes, 1);
}

TEST_F(OtherAppsTest, AFailedLoadOnlyRemovesTheLabel) {
  platform::foundation::testing::RecordingLog log;
  auto page = pushPage();
  fakes.web->fail();
  fakes.loop->runPending();
  EXPECT_EQ(subviewClasses(*page), "UIWebView ");
  EXPECT_EQ(fakes.web->loads().size(), 1u);  // no error page loaded
  EXPECT_EQ(stack.pages().size(), 1u);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(OtherAppsTest, NoCallbackReachesADestroyedPage) {
  auto page = pushPage();
  // The engine keeps the web view through a load even when its page goes away.
  std::shared_ptr<UIView> webView = page->view().subviews()[0];
  std::weak_ptr<PXViberOtherAppsViewController> gone = page;
  std::weak_ptr<UILabel> label = page->label();
  page.reset();
  stack.pop(true);
  ASSERT_TRUE(gone.expired());
  ASSERT_TRUE(label.expired());
  EXPECT_EQ(static_cast<UIWebView&>(*webView).delegate(), nullptr);
  fakes.web->finish();
  fakes.web->fail();
  // A callback that reached the page would have queued a task holding the label.
  EXPECT_TRUE(label.expired());
  fakes.loop->runPending();
}

}  // namespace
}  // namespace prefs
