#include "tools/pxviber/packages/testing/install_fixture.h"

#include <stdlib.h>

#include "platform/foundation/build_info.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "tools/pxviber/packages/package_install.h"
#include "tools/pxviber/packages/testing/scratch_device.h"

namespace pxviber::packages::testing {

namespace fs = std::filesystem;

void InstallFixture::SetUp() {
  char tmpl[] = "/tmp/px-packages-XXXXXX";
  tmp_ = ::mkdtemp(tmpl);
  root_ = tmp_ / "a/b/c/device";
  fs::create_directories(root_);
  makeScratchDevice(root_);
}

void InstallFixture::TearDown() { fs::remove_all(tmp_); }

fs::path InstallFixture::deb(const PackageSpec& recipe, const std::string& file) {
  fs::path path = tmp_ / "debs" / file;
  fs::create_directories(path.parent_path());
  EXPECT_TRUE(platform::foundation::writeFileAtomically(
      path, buildDeb(recipe, platform::foundation::kBuildArchitecture)));
  return path;
}

std::string InstallFixture::install(const PackageSpec& recipe) {
  try {
    return "installed " + std::to_string(installPackage(root_, deb(recipe)).files);
  } catch (const platform::Error& e) {
    std::string why = e.what();
    return why.substr(why.find(".deb: ") + 6);
  }
}

std::string InstallFixture::remove(const std::string& name) {
  try {
    return "removed " + std::to_string(removePackage(root_, name).files);
  } catch (const platform::Error& e) {
    std::string why = e.what();
    return why.substr(why.find(root_.string() + ": ") + root_.string().size() + 2);
  }
}

std::string InstallFixture::device() const { return treeSnapshot(root_); }

std::string InstallFixture::outside() const { return treeSnapshot(tmp_, {root_, tmp_ / "debs"}); }

std::string InstallFixture::read(const std::string& path) const {
  auto bytes = platform::foundation::readFile(root_ / path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "MISSING";
}

std::string InstallFixture::listOf(const std::string& name) const {
  return read("private/var/lib/dpkg/info/" + name + ".list");
}

std::string InstallFixture::installed() const {
  std::string status = read("private/var/lib/dpkg/status"), out;
  for (std::size_t at = status.find("Package: "); at != std::string::npos;
       at = status.find("\nPackage: ", at + 1)) {
    std::size_t start = status.find(' ', at) + 1;
    out += status.substr(start, status.find('\n', start) - start) + "\n";
  }
  return out;
}

}  // namespace pxviber::packages::testing
