// Reading a Debian binary package whole: an ar archive of "debian-binary"
// ("2.0"), "control.tar[.gz|.xz|.zst]" and "data.tar[...]".
//
// Everything is read and checked before anything is written anywhere, so a
// damaged or hostile package is refused as a whole: a truncated or corrupt
// archive (the compressors' checksums catch changed bytes), a file whose path
// would lead outside the root ("../", an absolute path), a link whose target
// would, hard links and device files, and maintainer scripts, which a device
// does not run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/file_io.h"
#include "tools/pxviber/packages/control_fields.h"

namespace pxviber::packages {

struct PackageFile {
  enum class Kind { File, Directory, Symlink };
  std::string path;  // relative to the root, no "./" nor trailing "/": "Library/x/y.so"
  Kind kind = Kind::File;
  unsigned mode = 0644;                 // permission bits, set-id bits removed
  platform::foundation::Bytes content;  // a file's bytes
  std::string target;                   // a link's target, relative
};

struct DebPackage {
  ControlFields control;
  std::vector<PackageFile> files;  // in archive order: a folder before what it holds

  std::string name() const;
  std::string version() const;
  std::string architecture() const;
};

// The largest package read: a bound on what a damaged size field can make the
// reader hold in memory.
inline constexpr std::uintmax_t kMaxPackageBytes = std::uintmax_t(256) << 20;

// Reads and checks the package at `path`. Throws platform::Error saying what is
// wrong with it.
DebPackage readDebPackage(const std::filesystem::path& path);

// Reads and checks a package from its bytes; `what` names it in errors.
DebPackage parseDebPackage(const platform::foundation::Bytes& bytes, const std::string& what);

}  // namespace pxviber::packages
