// Hostile packages on devices that hold links: nothing is written outside
// the root, nothing the device owns is written or replaced, a refused install
// leaves the device as it was, and a remove takes away exactly what the
// package installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "tools/pxviber/packages/package_install.h"
#include "tools/pxviber/packages/testing/deb_builder.h"
#include "tools/pxviber/packages/testing/failing_tree.h"
#include "tools/pxviber/packages/testing/install_fixture.h"

namespace pxviber::packages {
namespace {

namespace fs = std::filesystem;
using testing::Entry;
using testing::file;
using testing::folder;
using ::testing::HasSubstr;
using testing::link;
using testing::PackageSpec;

class PackageSafety : public testing::InstallFixture {
 protected:
  static PackageSpec package(const std::string& name, std::vector<Entry> data) {
    PackageSpec recipe;
    recipe.name = name;
    recipe.data = std::move(data);
    return recipe;
  }

  // Installing `recipe` is refused with a message that holds `why`, and
  // leaves the device, and everything beside it, as they were.
  void expectRefused(const PackageSpec& recipe, const std::string& why) {
    std::string device = this->device(), outside = this->outside();
    EXPECT_THAT(install(recipe), HasSubstr(why)) << recipe.data.back().path;
    EXPECT_EQ(this->device(), device) << recipe.data.back().path;
    EXPECT_EQ(this->outside(), outside) << recipe.data.back().path;
  }

  void write(const fs::path& path, const std::string& text) {
    auto data = reinterpret_cast<const std::uint8_t*>(text.data());
    ASSERT_TRUE(platform::foundation::writeFileAtomically(path, std::span(data, text.size())));
  }

  std::string debName() const { return (tmp_ / "debs/p.deb").string(); }
};

// One package's link to the root, another's link below it to ".." (which
// lands at the root, pointing above it), a third's "var" to that: each is
// refused where it would lead out, and nothing is written above the root.
TEST_F(PackageSafety, LinksChainedAcrossPackagesNeverLeadOutOfTheRoot) {
  std::string outside = this->outside();
  ASSERT_EQ(install(package("com.example.a", {link("./Library/r", "..")})), "installed 1");
  expectRefused(package("com.example.b", {link("./Library/r/esc", "..")}),
                "the package com.example.b has a link Library/r/esc -> .. that leads outside "
                "the device root; nothing was installed");
  expectRefused(package("com.example.b", {link("./Library/r/Library/r2", "../..")}),
                "the package com.example.b has a link Library/r/Library/r2 -> ../.. that leads "
                "outside the device root");
  expectRefused(package("com.example.c", {link("./var", "esc"), file("./var/lib/dpkg/status", "")}),
                "the package com.example.c may not write /var (for \"var\"): the device keeps it "
                "for itself");
  // Within one package, the link placed first leads the ones after it.
  expectRefused(
      package("com.example.d", {link("./Library/up", ".."), link("./Library/up/out", "..")}),
      "the package com.example.d has a link Library/up/out -> .. that leads outside");
  // A target that climbs after it descends would lead elsewhere once a later
  // package made a name on its way a link (here "C" a link to "..").
  expectRefused(package("com.example.e", {link("./Library/later", "C/../../x")}),
                "the package " + debName() +
                    " has a link Library/later -> C/../../x that "
                    "climbs (\"..\") after it descends");
  EXPECT_EQ(this->outside(), outside);
  EXPECT_EQ(remove("com.example.a"), "removed 1");
}

TEST_F(PackageSafety, LinksOnTheDeviceLeadNoMemberOut) {
  fs::create_directories(tmp_ / "outside");
  fs::create_symlink(tmp_ / "outside", root_ / "Library/abs");
  fs::create_symlink("../..", root_ / "Library/up");
  fs::create_symlink("loop", root_ / "Library/loop");
  fs::create_symlink("gone/../..", root_ / "Library/dangling");
  const std::string through = "the package com.example.sample would put ";
  expectRefused(package("com.example.sample", {file("./Library/abs/planted", "x")}),
                through + "\"Library/abs/planted\" outside the device root");
  expectRefused(package("com.example.sample", {file("./Library/up/planted", "x")}),
                through + "\"Library/up/planted\" outside the device root");
  expectRefused(package("com.example.sample", {folder("./Library/up/made/")}),
                through + "\"Library/up/made\" outside the device root");
  expectRefused(package("com.example.sample", {file("./Library/loop/x", "x")}),
                through + "\"Library/loop/x\" through a loop of links at /Library/loop");
  expectRefused(package("com.example.sample", {file("./Library/dangling/x", "x")}),
                through +
                    "\"Library/dangling/x\" through \"..\" of /Library/gone, which does not "
                    "exist");
  expectRefused(package("com.example.sample", {link("./Library/via", "up/x")}),
                "has a link Library/via -> up/x that leads outside the device root");
  expectRefused(package("com.example.sample", {link("./Library/via", "abs")}),
                "has a link Library/via -> abs that leads outside the device root");
}

TEST_F(PackageSafety, TheDevicesOwnRecordsAreNeitherWrittenNorReplaced) {
  struct Case {
    Entry member;
    std::string place;
  };
  for (const Case& c : std::vector<Case>{
           {file("./private/var/lib/dpkg/status", "Package: x\n"), "/private/var/lib/dpkg/status"},
           {file("./private/var/lib/dpkg/info/org.northquay.parlexforviber.list",
                 "/device.plist\n"),
            "/private/var/lib/dpkg/info/org.northquay.parlexforviber.list"},
           {file("./var/lib/dpkg/status", ""), "/private/var/lib/dpkg/status"},
           {folder("./var/lib/dpkg/info/more/"), "/private/var/lib/dpkg/info/more"},
           {file("./private/var/lib/dpkg/lock", ""), "/private/var/lib/dpkg/lock"},
           {file("./device.plist", "<plist/>"), "/device.plist"},
           {link("./var", "Library"), "/var"},
           {file("./var/run/SpringBoard.pid", "1\n"), "/private/var/run/SpringBoard.pid"},
           {file("./Applications", "x"), "/Applications"},
           {link("./Library/MobileSubstrate", "PreferenceLoader"), "/Library/MobileSubstrate"},
           {file("./private/var/lib", "x"), "/private/var/lib"},
       }) {
    std::string name = c.member.path.substr(2);
    if (name.back() == '/') name.pop_back();
    expectRefused(package("com.example.own", {c.member}),
                  "the package com.example.own may not write " + c.place + " (for \"" + name +
                      "\"): the device keeps it for itself; nothing was installed");
  }
  // Also where a link of the package leads to them.
  expectRefused(
      package("com.example.own", {link("./Library/r", ".."), file("./Library/r/device.plist", "")}),
      "may not write /device.plist (for \"Library/r/device.plist\")");
  EXPECT_EQ(installed(), "firmware\nmobilesubstrate\npreferenceloader\napplist\ncouria\n");
}

// A package may name the device's folders, and fill its layout folders.
TEST_F(PackageSafety, APackageFillsTheDevicesFoldersAndRemoveLeavesThem) {
  std::string before = device();
  PackageSpec recipe = package(
      "com.example.prefs",
      {folder("./"), folder("./var/"), folder("./var/mobile/"), folder("./private/var/run/"),
       file("./var/mobile/Library/Preferences/com.example.prefs.plist", "<plist/>"),
       file("./Library/MobileSubstrate/DynamicLibraries/Prefs.plist", "f")});
  ASSERT_EQ(install(recipe), "installed 2");
  EXPECT_EQ(read("private/var/mobile/Library/Preferences/com.example.prefs.plist"), "<plist/>");
  EXPECT_EQ(listOf("com.example.prefs"),
            "/private\n/private/var\n/private/var/mobile\n/private/var/run\n"
            "/private/var/mobile/Library\n/private/var/mobile/Library/Preferences\n"
            "/private/var/mobile/Library/Preferences/com.example.prefs.plist\n/Library\n"
            "/Library/MobileSubstrate\n/Library/MobileSubstrate/DynamicLibraries\n"
            "/Library/MobileSubstrate/DynamicLibraries/Prefs.plist\n");
  EXPECT_EQ(remove("com.example.prefs"), "removed 2");
  EXPECT_EQ(device(), before);
}

// Removing a package with a file under "/var" removes that file, never the
// device's "var" link, and the database stays whole; also for a list that
// an earlier installer wrote in the package's own names, through the link.
TEST_F(PackageSafety, RemoveNeverTakesTheVarLinkNorTheDatabase) {
  std::string before = device();
  PackageSpec recipe = package("com.example.under-var",
                               {folder("./var/"), folder("./var/mobile/"),
                                folder("./var/mobile/Own/"), file("./var/mobile/Own/data", "x")});
  ASSERT_EQ(install(recipe), "installed 1");
  EXPECT_EQ(read("private/var/mobile/Own/data"), "x");
  EXPECT_EQ(remove("com.example.under-var"), "removed 1");
  EXPECT_EQ(device(), before);

  ASSERT_EQ(install(recipe), "installed 1");
  write(root_ / "private/var/lib/dpkg/info/com.example.under-var.list",
        "/var\n/var/mobile\n/var/mobile/Own\n/var/mobile/Own/data\n");
  EXPECT_EQ(remove("com.example.under-var"), "removed 1");
  EXPECT_EQ(device(), before);
}

// A damaged or hostile list removes nothing outside the root, nothing of the
// device's own and nothing through a link.
TEST_F(PackageSafety, RemoveFollowsNoListLineOutOfTheRoot) {
  fs::create_directories(tmp_ / "outside");
  write(tmp_ / "outside/keep", "mine");
  write(tmp_ / "a/b/c/keep", "mine");
  fs::create_symlink(tmp_ / "outside", root_ / "Library/abs");
  fs::create_symlink("..", root_ / "Library/up");
  std::string before = device(), outside = this->outside();
  ASSERT_EQ(install(package("com.example.empty", {})), "installed 0");
  write(root_ / "private/var/lib/dpkg/info/com.example.empty.list",
        "/Library/abs/keep\n/Library/up/device.plist\n/../keep\n/./device.plist\nkeep\n"
        "/device.plist\n/var\n/private/var/lib/dpkg/status\n/Library/abs\n/Library/up\n"
        "/private/var/run\n/Applications\n");
  // The two links hold other lines: they are taken as folders, and a link is
  // never removed as a folder.
  EXPECT_EQ(remove("com.example.empty"), "removed 0");
  EXPECT_EQ(device(), before);
  EXPECT_EQ(this->outside(), outside);
}

// A newline would make two lines of one name in the package's list: the
// remove would then take an unrelated "/line" and leave the real file.
TEST_F(PackageSafety, NamesWithControlCharactersAreRefused) {
  write(root_ / "line", "not the package's");
  for (const char* name : {"./Library/a\nline", "./Library/tab\there", "./Library/\x1b[0m"}) {
    std::string shown = name;
    for (auto [raw, escaped] :
         {std::pair<std::string, std::string>{"\n", "\\n"}, {"\t", "\\x09"}, {"\x1b", "\\x1b"}}) {
      if (auto at = shown.find(raw); at != std::string::npos) shown.replace(at, 1, escaped);
    }
    expectRefused(package("com.example.sample", {file(name, "x")}),
                  "the package " + debName() + " has a member name with a control character: \"" +
                      shown + "\"");
  }
  expectRefused(package("com.example.sample", {link("./Library/l", "a\nb")}),
                "has a link target with a control character: \"a\\nb\"");
  EXPECT_EQ(read("line"), "not the package's");
}

TEST_F(PackageSafety, NamesPastTheFileSystemsLimitsAreRefusedWithAClearError) {
  const std::string tooLong =
      "the package com.example.sample has a name longer than the device's "
      "file system takes: \"Library/";
  expectRefused(package("com.example.sample", {file("./Library/" + std::string(5000, 'n'), "x")}),
                tooLong);
  expectRefused(package("com.example.sample", {file("./Library/" + std::string(5000, 'n'), "x")}),
                "(5000 bytes in one name, at most ");
  // A name the file system takes, but not once the install's suffix is added.
  expectRefused(package("com.example.sample", {file("./Library/" + std::string(250, 'n'), "x")}),
                "(250 bytes in one name, at most ");
  std::string deep = "./Library";
  for (int i = 0; i < 20; ++i) deep += "/" + std::string(240, 'd');
  expectRefused(package("com.example.sample", {file(deep + "/x", "x")}),
                "has a path longer than the device's file system takes");
  // A folder needs no room for the suffix.
  ASSERT_EQ(
      install(package("com.example.sample", {folder("./Library/" + std::string(250, 'f') + "/")})),
      "installed 0");
}

// A link of the package leads the members placed through it, as it will once
// it is in place; remove takes both away again.
TEST_F(PackageSafety, APackagesLinkLeadsItsLaterMembers) {
  std::string before = device();
  PackageSpec recipe = package("com.example.toapps", {link("./Library/toapps", "../Applications"),
                                                      file("./Library/toapps/Extra.plist", "x")});
  ASSERT_EQ(install(recipe), "installed 2");
  EXPECT_EQ(read("Applications/Extra.plist"), "x");
  EXPECT_EQ(fs::read_symlink(root_ / "Library/toapps"), "../Applications");
  EXPECT_EQ(listOf("com.example.toapps"),
            "/Library\n/Library/toapps\n/Applications\n/Applications/Extra.plist\n");
  EXPECT_EQ(remove("com.example.toapps"), "removed 2");
  EXPECT_EQ(device(), before);
  // Two names that lead to one place cannot both be installed.
  expectRefused(package("com.example.twice", {link("./Library/here", "."), file("./Library/x", "1"),
                                              file("./Library/here/x", "2")}),
                "the package com.example.twice has two members that land on /Library/x");
}

// Staging names are the install's own: no member may have one, and one left
// on the device by an interrupted install is not taken over.
TEST_F(PackageSafety, StagingNamesAreTheInstallsOwn) {
  expectRefused(package("com.example.sample", {file("./Library/x.dpkg-new", "x")}),
                "has a member \"./Library/x.dpkg-new\" whose name ends in .dpkg-new");
  expectRefused(package("com.example.sample", {file("./Library/x.dpkg-old", "x")}),
                "whose name ends in .dpkg-old");
  write(root_ / "Library/x.dpkg-new", "left over");
  expectRefused(package("com.example.sample", {file("./Library/x", "x")}),
                "cannot be installed while the device holds /Library/x.dpkg-new, left by an "
                "interrupted install: remove it first");
}

// A failure at any change of the device, folders made and files staged,
// moved into place or recorded, leaves the device as it was.
TEST_F(PackageSafety, AFailureAtAnyStepLeavesTheDeviceAsItWas) {
  PackageSpec v1 = package("com.example.sample", testing::sampleFiles("Sample"));
  ASSERT_EQ(install(v1), "installed 3");
  PackageSpec v2 = v1;
  v2.version = "2.0";
  v2.data[3].content = "version two";
  v2.data[5].target = "tool.plist";
  v2.data.push_back(folder("./Library/Sample/New/"));
  v2.data.push_back(folder("./Library/Sample/New/Deeper/"));
  v2.data.push_back(file("./Library/Sample/New/Deeper/more", "more"));
  v2.data.push_back(file("./Library/MobileSubstrate/DynamicLibraries/Sample.plist", "f"));
  fs::path deb = this->deb(v2);
  std::string before = device(), outside = this->outside();
  int step = 1;
  for (;; ++step) {
    auto real = openDeviceTree(root_);
    testing::FailingTree failing(*real, step);
    try {
      installPackage(failing, deb);
      break;
    } catch (const platform::Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("injected failure")) << step;
      EXPECT_THAT(e.what(), HasSubstr("nothing was installed")) << step;
      ASSERT_EQ(device(), before) << "after a failure at change " << step;
      ASSERT_EQ(this->outside(), outside) << "after a failure at change " << step;
    }
  }
  // The install went through once no change before the database's failed.
  EXPECT_GT(step, 12);
  EXPECT_EQ(read("Library/Sample/tool.so"), "version two");
  EXPECT_EQ(read("Library/Sample/New/Deeper/more"), "more");
}

}  // namespace
}  // namespace pxviber::packages
