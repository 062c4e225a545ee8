#include "tools/pxviber/packages/deb_archive.h"

#include <gtest/gtest.h>

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/testing/deb_builder.h"

namespace pxviber::packages {
namespace {

using testing::Entry;
using testing::PackageSpec;

constexpr const char* kArch = "armhf";

// One line per file: "path kind mode [content|-> target]".
std::string files(const DebPackage& p) {
  std::string out;
  for (auto& f : p.files) {
    out += f.path;
    if (f.kind == PackageFile::Kind::Directory) out += " dir";
    if (f.kind == PackageFile::Kind::File)
      out +=
          " file " + std::to_string(f.mode) + " " + std::string(f.content.begin(), f.content.end());
    if (f.kind == PackageFile::Kind::Symlink) out += " link -> " + f.target;
    out += "\n";
  }
  return out;
}

// What reading the package throws, or "read".
std::string refusal(const platform::foundation::Bytes& bytes) {
  try {
    parseDebPackage(bytes, "test.deb");
    return "read";
  } catch (const platform::Error& e) {
    return e.what();
  }
}

std::string refusal(PackageSpec recipe) { return refusal(testing::buildDeb(recipe, kArch)); }

TEST(DebArchive, ReadsControlAndFilesOfXzAndGzipPackages) {
  for (bool gzip : {false, true}) {
    PackageSpec recipe;
    recipe.data = testing::sampleFiles("Sample");
    recipe.data[3].content = "new";
    recipe.data[3].mode = 04755;  // set-id bits are dropped
    recipe.gzip = gzip;
    DebPackage p = parseDebPackage(testing::buildDeb(recipe, kArch), "test.deb");
    EXPECT_EQ(p.name(), "com.example.sample");
    EXPECT_EQ(p.version(), "1.0");
    EXPECT_EQ(p.architecture(), "armhf");
    EXPECT_EQ(fieldOf(p.control, "Description"), "a package for tests\n made by the tests");
    EXPECT_EQ(
        files(p),
        "Library dir\nLibrary/Sample dir\nLibrary/Sample/tool.so file 493 new\n"
        "Library/Sample/tool.plist file 420 <plist/>\nLibrary/Sample/current link -> tool.so\n");
  }
}

TEST(DebArchive, PathsAndLinksLeadingOutOfTheRootAreRefused) {
  const std::string outside = "the package test.deb would put ";
  for (const char* path : {"../evil", "./Library/../../evil", "/etc/passwd", "./a/../.."}) {
    PackageSpec recipe;
    recipe.data = testing::sampleFiles("Sample");
    recipe.data.push_back(testing::file(path, "x"));
    EXPECT_EQ(refusal(recipe), outside + "\"" + path + "\" outside the device root") << path;
  }
  for (const char* target : {"../../../etc", "/etc", "../../.."}) {
    PackageSpec recipe;
    recipe.data = {testing::link("./Library/Sample/out", target)};
    EXPECT_EQ(refusal(recipe),
              outside + "\"Library/Sample/out -> " + target + "\" outside the device root");
  }
  PackageSpec inside;
  inside.data = {testing::link("./Library/Sample/up", "../../Library")};
  EXPECT_EQ(refusal(inside), "read");
}

TEST(DebArchive, HardLinksDeviceFilesAndScriptsAreRefused) {
  PackageSpec hard;
  hard.data = {testing::file("./a", "x"), testing::hardLink("./b", "./a")};
  EXPECT_EQ(refusal(hard), "the package test.deb holds a hard link, b");
  PackageSpec fifo;
  fifo.data = {testing::fifo("./pipe")};
  EXPECT_EQ(refusal(fifo), "the package test.deb holds a device file or pipe, pipe");
  PackageSpec scripted;
  scripted.controlFiles = {{"md5sums", ""}, {"postinst", "#!/bin/sh\nrm -rf /\n"}};
  EXPECT_EQ(refusal(scripted),
            "the package test.deb has a postinst script, which a device does not run");
}

TEST(DebArchive, BadControlFieldsAndRepeatedPathsAreRefused) {
  PackageSpec bad;
  bad.name = "../../etc/x";
  EXPECT_EQ(refusal(bad), "damaged package test.deb: its Package field is no package name");
  bad.name = "Upper";
  EXPECT_EQ(refusal(bad), "damaged package test.deb: its Package field is no package name");
  PackageSpec twice;
  twice.data = {testing::file("./a", "1"), testing::file("a", "2")};
  EXPECT_EQ(refusal(twice), "damaged package test.deb: it lists a twice");
  PackageSpec noVersion;
  noVersion.version = "";
  EXPECT_EQ(refusal(noVersion),
            "damaged package test.deb: its control file has no usable Version field");
}

// Where a member's bytes begin in an ar archive: after its 60-byte header,
// which begins with its name.
std::size_t payloadOf(const platform::foundation::Bytes& deb, const std::string& member) {
  std::string text(deb.begin(), deb.end());
  return text.find(member) + 60;
}

// Every cut of the file, and a changed byte anywhere in the compressed members,
// are refused: the compressors' checksums catch what the tar reader would not.
TEST(DebArchive, TruncatedOrCorruptedArchivesAreRefused) {
  PackageSpec recipe;
  recipe.data = testing::sampleFiles("Sample");
  auto whole = testing::buildDeb(recipe, kArch);
  ASSERT_EQ(refusal(whole), "read");
  // The last byte may be the padding that evens out the last member.
  for (std::size_t size = 0; size + 1 < whole.size(); size += 5) {
    platform::foundation::Bytes cut(whole.begin(), whole.begin() + static_cast<long>(size));
    EXPECT_NE(refusal(cut), "read") << "cut at " << size << " of " << whole.size();
  }
  for (const char* member : {"control.tar.xz", "data.tar.xz"}) {
    std::size_t start = payloadOf(whole, member);
    for (std::size_t at = start; at < start + 120 && at < whole.size(); at += 3) {
      auto changed = whole;
      changed[at] ^= 0x5a;
      EXPECT_NE(refusal(changed), "read") << member << " byte " << at - start;
    }
  }
  EXPECT_EQ(refusal(platform::foundation::Bytes{'h', 'i'}), "test.deb is not a Debian package");
}

}  // namespace
}  // namespace pxviber::packages
