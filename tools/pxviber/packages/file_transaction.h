// Files put into place on a device all together or not at all.
//
// Staging makes the folders of the plan and writes each new file or link
// beside its place ("<place>.dpkg-new"); commit moves them all into place,
// setting each file or link it replaces aside ("<place>.dpkg-old"); finish
// drops what was set aside. Until finish, rollBack (and the destructor) undoes
// everything: staged files are deleted, replaced files put back, the folders
// made removed, so that the device is as it was before. Places are plain
// paths of the tree (device_tree.h), whose staging and aside names the plan
// found free (install_plan.h). Staging and commit throw platform::Error;
// undoing never throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/pxviber/packages/device_tree.h"

namespace pxviber::packages {

// What a transaction stages beside each file and link, and where it sets
// aside what they replace.
inline constexpr std::string_view kStagingSuffix = ".dpkg-new";
inline constexpr std::string_view kAsideSuffix = ".dpkg-old";

class FileTransaction {
 public:
  explicit FileTransaction(DeviceTree& tree) : tree_(tree) {}
  ~FileTransaction();
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  // Makes a folder whose parent exists and that does not.
  void makeFolder(const std::string& place);
  void stageFile(const std::string& place, const platform::foundation::Bytes& content,
                 unsigned mode);
  void stageLink(const std::string& place, const std::string& target);

  void commit();
  void finish();
  void rollBack() noexcept;

 private:
  struct Staged {
    std::string place;
    bool written = false;   // the staging file or link exists
    bool placed = false;    // moved into place by commit
    bool setAside = false;  // what it replaced is at "<place>.dpkg-old"
  };
  static std::string staging(const Staged& s);
  static std::string aside(const Staged& s);

  DeviceTree& tree_;
  std::vector<Staged> staged_;
  std::vector<std::string> madeFolders_;  // in the order made
  bool finished_ = false;
};

}  // namespace pxviber::packages
