#include "hosts/settings/pane_catalog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/recording_log.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/preferences/list_controller.h"
#include "platform/preferences/services.h"
#include "platform/runtime/testing/universal_file.h"

namespace hosts::settings {
namespace {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

// A scratch device holding the pane bundle of this build and entries written by
// each test.
class PaneCatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::foundation::setDeviceRoot(root_);
    platform::preferences::resetServices();
    fs::create_directories(entries());
    fs::create_directories(bundles());
    fs::create_symlink(fs::path(PXVIBER_BUILD_DIR) / "PreferenceBundles/PXViberPreferences.bundle",
                       bundles() / "PXViberPreferences.bundle");
  }
  void TearDown() override {
    platform::preferences::resetServices();
    platform::foundation::setDeviceRoot("/");
  }

  fs::path entries() const { return root_ / "Library/PreferenceLoader/Preferences"; }
  fs::path bundles() const { return root_ / "Library/PreferenceBundles"; }

  void writeEntry(const std::string& file, Dictionary entry) {
    ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
        entries() / file, Dictionary{{"entry", Value(std::move(entry))}}));
  }
  void writeText(const fs::path& file, const std::string& text) {
    ASSERT_TRUE(platform::foundation::writeFileAtomically(
        file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
  }
  void installShippedEntry() {
    fs::copy_file(
        fs::path(PXVIBER_BUILD_DIR) / "PreferenceLoader/Preferences/PXViberPreferences.plist",
        entries() / "PXViberPreferences.plist");
  }

  // A second bundle with this build's plug-in, the given Info.plist and
  // specifier-list text.
  void makeBundle(const std::string& name, Dictionary info, const std::string& list) {
    fs::path dir = bundles() / (name + ".bundle");
    fs::create_directories(dir);
    fs::create_symlink(fs::path(PXVIBER_BUILD_DIR) /
                           "PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences",
                       dir / "PXViberPreferences");
    ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(dir / "Info.plist", info));
    writeText(dir / "PXViberPreferences.plist", list);
  }

  static std::string labels(const PaneCatalog& c) {
    std::string out;
    for (auto& p : c.panes) out += "[" + p.label + "]";
    return out;
  }

  platform::foundation::testing::ScratchFolder scratch_{"px-panes"};
  fs::path root_ = scratch_.path();
  platform::foundation::testing::RecordingLog log_;
};

TEST_F(PaneCatalogTest, ListsTheInstalledPaneAndLeavesOutUnusableEntries) {
  installShippedEntry();
  writeText(entries() / "Broken.plist", "this is not a property list");
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      entries() / "NoEntry.plist", Dictionary{{"title", Value("x")}}));
  writeEntry("Escape.plist", Dictionary{{"bundle", Value("../../etc")}, {"label", Value("Esc")}});
  writeEntry("Absent.plist", Dictionary{{"bundle", Value("Absent")}});
  writeText(entries() / "readme.txt", "not an entry");
  PaneCatalog catalog = listPanes();
  EXPECT_EQ(labels(catalog), "[Absent][Parlex for Viber]");
  EXPECT_EQ(catalog.skipped,
            (std::vector<std::string>{"Broken.plist: not a property list, skipped",
                                      "Escape.plist: no usable \"bundle\" name, skipped",
                                      "NoEntry.plist: no \"entry\" dictionary, skipped"}));
}

TEST_F(PaneCatalogTest, AMissingEntryFolderListsNothing) {
  fs::remove_all(entries());
  PaneCatalog catalog = listPanes();
  EXPECT_TRUE(catalog.panes.empty());
  EXPECT_TRUE(catalog.skipped.empty());
}

TEST_F(PaneCatalogTest, OpensThePaneByItsPrincipalClassAndShowsItsRows) {
  installShippedEntry();
  PaneCatalog catalog = listPanes();
  ASSERT_EQ(catalog.panes.size(), 1u);
  OpenedPane pane = openPane(catalog.panes[0]);
  ASSERT_TRUE(pane.controller) << pane.error;
  EXPECT_EQ(pane.controller->className(), "PXViberPreferencesListController");
  EXPECT_EQ(pane.controller->navigationItem().title(), "Parlex for Viber");
  auto* list = dynamic_cast<platform::preferences::PSListController*>(pane.controller.get());
  ASSERT_TRUE(list);
  EXPECT_EQ(list->bundlePath(), bundles() / "PXViberPreferences.bundle");
  auto rows = list->specifiers();
  ASSERT_TRUE(rows);
  // Four groups, the six settings and the two buttons.
  EXPECT_EQ(rows->items.size(), 12u);
  EXPECT_TRUE(rows->skipped.empty());
  // Opening it again makes a new controller from the plug-in already loaded.
  OpenedPane again = openPane(catalog.panes[0]);
  ASSERT_TRUE(again.controller);
  EXPECT_NE(again.controller, pane.controller);
}

// The shipped bundle's executable is universal: one file with the pane for
// several processors, of which the Settings app loads its own.
TEST_F(PaneCatalogTest, AUniversalExecutableOpensWithTheSliceOfThisProcessor) {
  auto plugin = platform::foundation::readFile(
      fs::path(PXVIBER_BUILD_DIR) /
      "PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences");
  ASSERT_TRUE(plugin);
  fs::path dir = bundles() / "Universal.bundle";
  fs::create_directories(dir);
  ASSERT_TRUE(platform::foundation::writeFileAtomically(
      dir / "PXViberPreferences",
      platform::runtime::testing::universalFile(
          {{"riscv64", platform::runtime::testing::retargetedToRiscV(*plugin)},
           {"own", *plugin}})));
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      dir / "Info.plist",
      Dictionary{{"CFBundleExecutable", Value("PXViberPreferences")},
                 {"NSPrincipalClass", Value("PXViberPreferencesListController")}}));
  OpenedPane pane = openPane(PaneEntry{"Universal", "Universal", "", {}});
  ASSERT_TRUE(pane.controller) << pane.error;
  EXPECT_EQ(pane.controller->className(), "PXViberPreferencesListController");
}

// The bundle of a package made by ./run package, unpacked into the folder that
// PXVIBER_PACKAGED_BUNDLE names: packaging runs this test under emulation for
// each processor whose slice the bundle holds.
TEST_F(PaneCatalogTest, APackagedBundleOpensOnThisProcessor) {
  const char* packaged = std::getenv("PXVIBER_PACKAGED_BUNDLE");
  if (!packaged) GTEST_SKIP() << "PXVIBER_PACKAGED_BUNDLE names no unpacked bundle";
  fs::remove(bundles() / "PXViberPreferences.bundle");
  fs::create_symlink(packaged, bundles() / "PXViberPreferences.bundle");
  installShippedEntry();
  OpenedPane pane = openPane(listPanes().panes.at(0));
  ASSERT_TRUE(pane.controller) << pane.error;
  auto* list = dynamic_cast<platform::preferences::PSListController*>(pane.controller.get());
  ASSERT_TRUE(list && list->specifiers());
  EXPECT_EQ(list->specifiers()->items.size(), 12u);
}

TEST_F(PaneCatalogTest, APaneWithoutItsBundleSaysSo) {
  OpenedPane pane = openPane(PaneEntry{"Absent", "Absent", "", {}});
  EXPECT_FALSE(pane.controller);
  EXPECT_EQ(pane.error,
            "the bundle " + (bundles() / "Absent.bundle").string() + " has no readable Info.plist");
}

TEST_F(PaneCatalogTest, AnUnknownEntryClassOrPluginFileSaysSo) {
  makeBundle("Odd",
             Dictionary{{"CFBundleExecutable", Value("PXViberPreferences")},
                        {"NSPrincipalClass", Value("NoSuchController")}},
             "");
  OpenedPane pane = openPane(PaneEntry{"Odd", "Odd", "", {}});
  EXPECT_EQ(pane.error, "the plug-in provides no controller class NoSuchController");
  makeBundle("NoFile",
             Dictionary{{"CFBundleExecutable", Value("Nothing")}, {"NSPrincipalClass", Value("X")}},
             "");
  pane = openPane(PaneEntry{"NoFile", "NoFile", "", {}});
  EXPECT_EQ(pane.error.rfind("cannot load the plug-in: ", 0), 0u) << pane.error;
}

TEST_F(PaneCatalogTest, ABrokenSpecifierListOpensAnEmptyPageThatSaysWhy) {
  Dictionary info{{"CFBundleExecutable", Value("PXViberPreferences")},
                  {"NSPrincipalClass", Value("PXViberPreferencesListController")}};
  makeBundle("Junk", info, "<plist><dict><key>items</key>");
  OpenedPane pane = openPane(PaneEntry{"Junk", "Junk", "", {}});
  ASSERT_TRUE(pane.controller) << pane.error;
  auto* list = dynamic_cast<platform::preferences::PSListController*>(pane.controller.get());
  EXPECT_EQ(list->specifiers(), nullptr);
  EXPECT_EQ(
      list->lastLoadFailure(),
      "PXViberPreferences.plist: " + (bundles() / "Junk.bundle/PXViberPreferences.plist").string() +
          " is not a property list");
}

TEST_F(PaneCatalogTest, UnknownCellsAndWrongTypesInTheListAreSkippedAndLogged) {
  Dictionary info{{"CFBundleExecutable", Value("PXViberPreferences")},
                  {"NSPrincipalClass", Value("PXViberPreferencesListController")}};
  makeBundle("Odd", info, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>items</key><array>
<dict><key>cell</key><string>PSSliderCell</string><key>label</key><string>Volume</string></dict>
<dict><key>cell</key><string>PSSwitchCell</string><key>label</key><integer>5</integer>
<key>key</key><string>debugMode</string>
<key>defaults</key><string>org.northquay.pxviberpreferences</string></dict>
<dict><key>cell</key><string>PSButtonCell</string><key>action</key><string>followOnTwitter</string>
<key>label</key><string>Follow</string></dict>
</array></dict></plist>)");
  OpenedPane pane = openPane(PaneEntry{"Odd", "Odd", "", {}});
  auto* list = dynamic_cast<platform::preferences::PSListController*>(pane.controller.get());
  ASSERT_TRUE(list);
  auto rows = list->specifiers();
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->items.size(), 2u);
  EXPECT_EQ(rows->skipped,
            (std::vector<std::string>{"item 1 (\"Volume\"): unknown cell \"PSSliderCell\", skipped",
                                      "item 2: label is not a string, ignored"}));
  EXPECT_TRUE(log_.contains(
      "Preferences: PXViberPreferences.plist: item 1 (\"Volume\"): unknown cell \"PSSliderCell\", "
      "skipped"));
}

}  // namespace
}  // namespace hosts::settings
