// Debian packages made in memory for tests: well-formed ones, and ones damaged
// or hostile in the ways a package manager must refuse.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/file_io.h"

namespace pxviber::packages::testing {

struct Entry {
  enum class Kind { File, Directory, Symlink, Hardlink, Fifo };
  std::string path;  // as stored: "./Library/x", "../evil", "/etc/x"...
  Kind kind = Kind::File;
  std::string content;  // a file's bytes
  std::string target;   // a link's target
  unsigned mode = 0644;
};

Entry file(const std::string& path, const std::string& content, unsigned mode = 0644);
Entry folder(const std::string& path);
Entry link(const std::string& path, const std::string& target);
Entry hardLink(const std::string& path, const std::string& target);
Entry fifo(const std::string& path);

struct PackageSpec {
  std::string name = "com.example.sample";
  std::string version = "1.0";
  std::string architecture;  // the device's when empty
  std::string depends;       // the Depends field; none when empty
  std::vector<Entry> data;
  // Further members of control.tar ("postinst", "md5sums"...) with their text.
  std::vector<std::pair<std::string, std::string>> controlFiles;
  bool gzip = false;  // gzip the tar members instead of xz
};

// The control file of `recipe`.
std::string controlText(const PackageSpec& recipe, const std::string& deviceArchitecture);

// The package as `dpkg-deb --build` lays it out: an ar archive of
// "debian-binary", "control.tar.xz" and "data.tar.xz".
platform::foundation::Bytes buildDeb(const PackageSpec& recipe,
                                     const std::string& deviceArchitecture);

// Files under one folder, as a small package ships them.
std::vector<Entry> sampleFiles(const std::string& folder);

}  // namespace pxviber::packages::testing
