#include "platform/preferences/list_controller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/recording_log.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/preferences/page_stack.h"
#include "platform/preferences/testing/fake_services.h"

namespace platform::preferences {
namespace {

using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

constexpr const char* kDomain = "org.example.domain";

class Controller : public PSListController {
 public:
  Controller() {
    defineAction("tap", [this] { ++taps; });
  }
  int taps = 0;
};

PSSpecifier switchRow(std::string key, Value fallback) {
  PSSpecifier s;
  s.cell = CellType::Switch;
  s.key = std::move(key);
  s.defaults = kDomain;
  s.defaultValue = std::move(fallback);
  s.postNotification = "org.example.changed";
  return s;
}

PSSpecifier numberRow(std::string key, Value fallback) {
  PSSpecifier s = switchRow(std::move(key), std::move(fallback));
  s.cell = CellType::EditText;
  s.keyboard = KeyboardType::Numbers;
  return s;
}

class ListControllerTest : public ::testing::Test {
 protected:
  testing::FakeServices fakes;
  foundation::testing::RecordingLog log;
  Controller controller;
};

TEST_F(ListControllerTest, LoadsANamedListFromItsBundle) {
  controller.setBundlePath("/Library/PreferenceBundles/X.bundle");
  fakes.lists->set(
      "X", Value(Dictionary{{"items", Value(Array{Value(Dictionary{{"cell", Value("PSButtonCell")},
                                                                   {"action", Value("tap")}})})}}));
  auto list = controller.loadSpecifiersFromPlistName("X", &controller);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->items.size(), 1u);
  EXPECT_EQ(list->items[0].target, &controller);
  EXPECT_EQ(fakes.lists->loads(),
            std::vector<std::string>{"/Library/PreferenceBundles/X.bundle/X"});
  EXPECT_EQ(controller.lastLoadFailure(), "");
}

TEST_F(ListControllerTest, AFailedLoadAnswersNilAndSaysWhy) {
  EXPECT_EQ(controller.loadSpecifiersFromPlistName("Missing", &controller), nullptr);
  EXPECT_EQ(controller.lastLoadFailure(), "Missing.plist: no list named Missing");
  fakes.lists->set("Flat", Value(Array{}));
  EXPECT_EQ(controller.loadSpecifiersFromPlistName("Flat", &controller), nullptr);
  EXPECT_EQ(controller.lastLoadFailure(), "Flat.plist: the root is not a dictionary");
  EXPECT_TRUE(log.contains(
      "Preferences: cannot load the specifier list Flat.plist: the root is not a dictionary"));
}

TEST_F(ListControllerTest, SkippedEntriesAreLogged) {
  fakes.lists->set(
      "L",
      Value(Dictionary{{"items", Value(Array{Value(Dictionary{{"cell", Value("PSWhatCell")}})})}}));
  auto list = controller.loadSpecifiersFromPlistName("L", &controller);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->items.empty());
  EXPECT_TRUE(log.contains("Preferences: L.plist: item 1: unknown cell \"PSWhatCell\", skipped"));
}

TEST_F(ListControllerTest, ShowsTheDefaultWhileTheKeyIsAbsent) {
  EXPECT_EQ(controller.readPreferenceValue(switchRow("on", Value(true))), Value(true));
  EXPECT_EQ(controller.readPreferenceValue(numberRow("days", Value(3))), Value(3));
  PSSpecifier bare = switchRow("bare", Value());
  bare.defaultValue.reset();
  EXPECT_TRUE(controller.readPreferenceValue(bare).isNull());
}

TEST_F(ListControllerTest, ShowsStoredValuesReadWithFoundationsRules) {
  fakes.store->domains()[kDomain] = Dictionary{{"days", Value("12 days")},
                                               {"on", Value("yes")},
                                               {"zero", Value(0)},
                                               {"when", Value(foundation::Date{5})}};
  Value days = controller.readPreferenceValue(numberRow("days", Value(3)));
  EXPECT_EQ(days.longLongValue(), 12);
  EXPECT_EQ(controller.readPreferenceValue(switchRow("on", Value(false))).boolValue(), true);
  EXPECT_EQ(controller.readPreferenceValue(numberRow("zero", Value(3))), Value(0));
  // A date answers neither reading: the row shows its default, as the tweak reads it.
  EXPECT_EQ(controller.readPreferenceValue(switchRow("when", Value(true))), Value(true));
}

TEST_F(ListControllerTest, StoresAChangeThenPostsTheRowsNotification) {
  ASSERT_TRUE(controller.setPreferenceValue(Value(7), numberRow("days", Value(3))));
  EXPECT_EQ(fakes.store->writes(), std::vector<std::string>{"org.example.domain:days=7"});
  EXPECT_EQ(fakes.center->posts(), std::vector<std::string>{"org.example.changed"});
}

TEST_F(ListControllerTest, AFailedWritePostsNothing) {
  fakes.store->failWrites(true);
  EXPECT_FALSE(controller.setPreferenceValue(Value(true), switchRow("on", Value(false))));
  EXPECT_TRUE(fakes.center->posts().empty());
}

TEST_F(ListControllerTest, ARowWithoutNotificationOnlyStores) {
  PSSpecifier quiet = switchRow("on", Value(false));
  quiet.postNotification.reset();
  EXPECT_TRUE(controller.setPreferenceValue(Value(true), quiet));
  EXPECT_EQ(fakes.store->writes().size(), 1u);
  EXPECT_TRUE(fakes.center->posts().empty());
}

TEST_F(ListControllerTest, ActionsAreCalledByName) {
  EXPECT_TRUE(controller.respondsToSelector("tap"));
  EXPECT_FALSE(controller.respondsToSelector("tap:"));
  EXPECT_TRUE(controller.performSelector("tap"));
  EXPECT_FALSE(controller.performSelector("nothing"));
  EXPECT_EQ(controller.taps, 1);
}

TEST_F(ListControllerTest, PushesOntoItsStackAndPassesItsBundleOn) {
  PageStack stack;
  auto self = std::make_shared<Controller>();
  self->setBundlePath("/b.bundle");
  stack.push(self, false);
  auto child = std::make_shared<Controller>();
  self->pushController(child, true);
  ASSERT_EQ(stack.pages().size(), 2u);
  EXPECT_EQ(stack.top(), child.get());
  EXPECT_TRUE(stack.lastAnimated());
  EXPECT_EQ(child->bundlePath(), "/b.bundle");
  EXPECT_EQ(child->pageStack(), &stack);
}

TEST_F(ListControllerTest, PushingWithoutAStackShowsNothing) {
  controller.pushController(std::make_shared<Controller>(), true);
  EXPECT_TRUE(
      log.contains("Preferences: PSListController is on no page stack; "
                   "PSListController not shown"));
}

TEST(WholeNumber, TakesDigitsWithOneSignWithinBounds) {
  EXPECT_EQ(parseWholeNumber("7", 1, 30), 7);
  EXPECT_EQ(parseWholeNumber(" 30 ", 1, 30), 30);
  EXPECT_EQ(parseWholeNumber("+5", 1, 30), 5);
  EXPECT_EQ(parseWholeNumber("-5", std::nullopt, std::nullopt), -5);
  EXPECT_EQ(parseWholeNumber("0", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("31", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("+", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("+-5", std::nullopt, std::nullopt), std::nullopt);
  EXPECT_EQ(parseWholeNumber("7.5", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("7a", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("1 2", 1, 30), std::nullopt);
  EXPECT_EQ(parseWholeNumber("99999999999999999999", std::nullopt, std::nullopt), std::nullopt);
}

// The file store against real files in a scratch device.
class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    foundation::setDeviceRoot(root_);
    std::filesystem::create_directories(root_ / "var/mobile/Library/Preferences");
    file_ = root_ / "var/mobile/Library/Preferences/org.example.domain.plist";
  }
  void TearDown() override { foundation::setDeviceRoot("/"); }
  foundation::testing::ScratchFolder scratch_{"px-prefs-store"};
  std::filesystem::path root_ = scratch_.path();
  std::filesystem::path file_;
  std::shared_ptr<SettingsStore> store_ = makeFileSettingsStore();
};

TEST_F(FileStoreTest, AWriteKeepsEveryOtherKey) {
  ASSERT_TRUE(foundation::writeDictionaryFileAtomically(
      file_, Dictionary{{"messageText", Value("hi")}, {"conversationID", Value("12")}}));
  ASSERT_TRUE(store_->write(kDomain, "debugMode", Value(true)));
  auto d = foundation::readDictionaryFile(file_);
  ASSERT_TRUE(d);
  EXPECT_EQ(*d, (Dictionary{{"conversationID", Value("12")},
                            {"debugMode", Value(true)},
                            {"messageText", Value("hi")}}));
  EXPECT_EQ(store_->read(kDomain, "debugMode"), Value(true));
  EXPECT_EQ(store_->read(kDomain, "absent"), std::nullopt);
}

TEST_F(FileStoreTest, AWriteCreatesAMissingFile) {
  ASSERT_TRUE(store_->write(kDomain, "historyDaysToDisplay", Value(5)));
  EXPECT_EQ(foundation::readDictionaryFile(file_),
            (Dictionary{{"historyDaysToDisplay", Value(5)}}));
}

TEST_F(FileStoreTest, AnUnreadableFileIsKeptAsideAndLogged) {
  foundation::testing::RecordingLog log;
  std::string junk = "not a plist";
  ASSERT_TRUE(foundation::writeFileAtomically(
      file_, std::span(reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size())));
  EXPECT_EQ(store_->read(kDomain, "debugMode"), std::nullopt);
  ASSERT_TRUE(store_->write(kDomain, "debugMode", Value(false)));
  EXPECT_EQ(log.linesStartingWith("Preferences: " + file_.string() + " could not be read").size(),
            1u);
}

TEST_F(FileStoreTest, RefusesDomainsOutsideThePreferencesFolder) {
  EXPECT_FALSE(store_->write("../escape", "k", Value(1)));
  EXPECT_FALSE(std::filesystem::exists(root_ / "var/mobile/Library/escape.plist"));
}

}  // namespace
}  // namespace platform::preferences
