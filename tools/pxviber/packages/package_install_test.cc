#include "tools/pxviber/packages/package_install.h"

#include <gtest/gtest.h>

#include "platform/foundation/build_info.h"
#include "platform/foundation/error.h"
#include "tools/pxviber/packages/package_database.h"
#include "tools/pxviber/packages/testing/deb_builder.h"
#include "tools/pxviber/packages/testing/install_fixture.h"

namespace pxviber::packages {
namespace {

namespace fs = std::filesystem;
using platform::foundation::kBuildArchitecture;
using testing::Entry;
using testing::PackageSpec;

class PackageInstall : public testing::InstallFixture {};

TEST_F(PackageInstall, FilesLandInTheirPlacesAndRemoveTakesThemAllAway) {
  std::string before = device();
  PackageSpec recipe;
  recipe.data = testing::sampleFiles("Sample");
  recipe.data.push_back(
      testing::file("./Library/MobileSubstrate/DynamicLibraries/Sample.plist", "f"));
  recipe.depends = "firmware (>= 7.0), mobilesubstrate | applist";
  EXPECT_EQ(install(recipe), "installed 4");
  EXPECT_EQ(read("Library/Sample/tool.so"), "ELF-ish bytes");
  EXPECT_EQ(fs::status(root_ / "Library/Sample/tool.so").permissions() & fs::perms::all,
            static_cast<fs::perms>(0755));
  EXPECT_EQ(fs::read_symlink(root_ / "Library/Sample/current"), "tool.so");
  auto tree = openDeviceTree(root_);
  PackageDatabase db(*tree);
  EXPECT_EQ(fieldOf(*db.find("com.example.sample"), "Status"), "install ok installed");
  EXPECT_EQ(db.files("com.example.sample").at(1), "/Library/Sample");

  EXPECT_EQ(remove("com.example.sample"), "removed 4");
  EXPECT_FALSE(db.find("com.example.sample"));
  // The folders of the platform stay; the package's own went with it.
  EXPECT_EQ(device(), before);
}

TEST_F(PackageInstall, ANewVersionReplacesTheOldAndDropsWhatItNoLongerHas) {
  PackageSpec v1;
  v1.data = testing::sampleFiles("Sample");
  ASSERT_EQ(install(v1), "installed 3");
  PackageSpec v2 = v1;
  v2.version = "2.0";
  v2.data.erase(v2.data.begin() + 4);  // tool.plist
  v2.data[3].content = "version two";
  v2.data.push_back(testing::file("./Library/Sample/extra", "new"));
  InstallReport report = installPackage(root_, deb(v2));
  EXPECT_TRUE(report.replaced);
  EXPECT_EQ(read("Library/Sample/tool.so"), "version two");
  EXPECT_EQ(read("Library/Sample/tool.plist"), "MISSING");
  EXPECT_EQ(read("Library/Sample/extra"), "new");
  auto tree = openDeviceTree(root_);
  EXPECT_EQ(fieldOf(*PackageDatabase(*tree).find("com.example.sample"), "Version"), "2.0");
}

TEST_F(PackageInstall, RefusalsLeaveTheDeviceAsItWas) {
  std::string before = device();
  PackageSpec arm;
  arm.architecture = "mips64el";
  EXPECT_EQ(install(arm), "the package com.example.sample is built for mips64el, the device at " +
                              root_.string() + " is " + kBuildArchitecture +
                              "; nothing was installed");
  PackageSpec escape;
  escape.data = testing::sampleFiles("Sample");  // files before the bad one are not written
  escape.data.push_back(testing::file("../evil", "x"));
  EXPECT_EQ(install(escape),
            "the package " + (tmp_ / "debs/p.deb").string() +
                " would put \"../evil\" outside the device root; nothing was installed");
  PackageSpec newer;
  newer.depends = "firmware (>= 10.0)";
  EXPECT_EQ(install(newer),
            "the package com.example.sample needs firmware (>= 10.0), which the "
            "device does not have; nothing was installed");
  auto whole = testing::buildDeb(escape, kBuildArchitecture);
  whole.resize(whole.size() / 2);
  ASSERT_TRUE(platform::foundation::writeFileAtomically(tmp_ / "debs/cut.deb", whole));
  EXPECT_THROW(installPackage(root_, tmp_ / "debs/cut.deb"), platform::Error);
  EXPECT_EQ(device(), before);
  EXPECT_FALSE(fs::exists(tmp_ / "a/b/c/evil"));
}

TEST_F(PackageInstall, NoPathReachesOutThroughALinkOnTheDevice) {
  fs::create_directories(tmp_ / "outside");
  fs::create_symlink(tmp_ / "outside", root_ / "Library/escape");
  std::string before = device();
  PackageSpec recipe;
  recipe.data = {testing::file("./Library/escape/planted", "x")};
  EXPECT_EQ(install(recipe),
            "the package com.example.sample would put \"Library/escape/planted\" "
            "outside the device root, through a link on the device; nothing was "
            "installed");
  EXPECT_EQ(device(), before);
}

TEST_F(PackageInstall, AnotherPackagesFilesAndFoldersAreNotTakenOver) {
  PackageSpec first;
  first.data = testing::sampleFiles("Sample");
  ASSERT_EQ(install(first), "installed 3");
  PackageSpec second;
  second.name = "com.example.other";
  second.data = {testing::file("./Library/Sample/tool.so", "mine")};
  EXPECT_EQ(install(second),
            "the package com.example.other would overwrite "
            "/Library/Sample/tool.so of the package com.example.sample; nothing "
            "was installed");
  second.data = {testing::file("./Library/Sample", "a file for a folder")};
  EXPECT_EQ(install(second),
            "the package com.example.other has a file Library/Sample where the "
            "device has a folder; nothing was installed");
  EXPECT_EQ(read("Library/Sample/tool.so"), "ELF-ish bytes");
}

// A member below a plain file of the device is refused before anything is
// written (a failure while writing: package_safety_test.cc).
TEST_F(PackageInstall, AMemberBelowAFileIsRefusedBeforeAnythingIsWritten) {
  ASSERT_TRUE(platform::foundation::writeFileAtomically(root_ / "Library/blocker",
                                                        platform::foundation::Bytes{'x'}));
  std::string before = device();
  PackageSpec recipe;
  recipe.data = testing::sampleFiles("Sample");
  recipe.data.push_back(testing::file("./Library/blocker/inner", "x"));
  EXPECT_EQ(install(recipe),
            "the package com.example.sample would put \"Library/blocker/inner\" below "
            "/Library/blocker, which is not a folder; nothing was installed");
  EXPECT_EQ(device(), before);
}

TEST_F(PackageInstall, RemovingWhatIsAbsentOrNeededIsRefused) {
  PackageSpec recipe;
  recipe.depends = "mobilesubstrate";
  ASSERT_EQ(install(recipe), "installed 0");
  EXPECT_THROW(removePackage(root_, "com.example.absent"), platform::Error);
  try {
    removePackage(root_, "mobilesubstrate");
    FAIL() << "removed a needed package";
  } catch (const platform::Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot remove mobilesubstrate from " + root_.string() +
                                         ": the package com.example.sample needs it");
  }
  EXPECT_EQ(removePackage(root_, "com.example.sample").files, 0u);
  EXPECT_EQ(removePackage(root_, "mobilesubstrate").name, "mobilesubstrate");
}

TEST_F(PackageInstall, OneInstallAtATime) {
  auto held = openDeviceTree(root_);
  lockDatabase(*held);
  EXPECT_EQ(install(PackageSpec{}), "another install or remove is working on the device at " +
                                        root_.string() + "; nothing was installed");
}

// The package that the build makes with dpkg-deb, in the phone's layout, with
// the pane's universal file holding this processor's slice.
TEST_F(PackageInstall, TheBuildsOwnPackageInstallsInThePhonesLayout) {
  std::string before = device();
  InstallReport report = installPackage(root_, PXVIBER_OWN_PACKAGE);
  EXPECT_EQ(report.name, platform::foundation::kPackageName);
  EXPECT_EQ(report.version, platform::foundation::kProjectVersion);
  EXPECT_EQ(report.architecture, kBuildArchitecture);
  for (const char* path :
       {"Library/MobileSubstrate/DynamicLibraries/ParlexforViber.so",
        "Library/MobileSubstrate/DynamicLibraries/ParlexforViber.plist",
        "Library/PreferenceLoader/Preferences/PXViberPreferences.plist",
        "Library/PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences",
        "Library/PreferenceBundles/PXViberPreferences.bundle/Info.plist",
        "Library/PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences.plist"}) {
    EXPECT_TRUE(fs::is_regular_file(root_ / path)) << path;
  }
  EXPECT_EQ(report.files, 6u);
  EXPECT_EQ(
      read("Library/PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences").substr(0, 8),
      "!<arch>\n");
  removePackage(root_, platform::foundation::kPackageName);
  EXPECT_EQ(device(), before);
}

}  // namespace
}  // namespace pxviber::packages
