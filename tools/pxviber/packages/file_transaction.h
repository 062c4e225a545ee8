// Files put into place all together or not at all.
//
// Staging writes each new file beside its place ("<file>.dpkg-new") and makes
// the folders it needs; commit moves them all into place, setting each file it
// replaces aside ("<file>.dpkg-old"); finish drops what was set aside. Until
// finish, rollBack (and the destructor) undoes everything: staged files are
// deleted, replaced files put back, the folders made removed. Staging and
// commit throw platform::Error; undoing never throws.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/file_io.h"

namespace pxviber::packages {

class FileTransaction {
 public:
  FileTransaction() = default;
  ~FileTransaction();
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  void makeFolder(const std::filesystem::path& folder);
  void stageFile(const std::filesystem::path& target, const platform::foundation::Bytes& content,
                 unsigned mode);
  void stageLink(const std::filesystem::path& target, const std::string& linkTarget);

  void commit();
  void finish();
  void rollBack() noexcept;

 private:
  struct Staged {
    std::filesystem::path target;
    bool placed = false;    // moved into place by commit
    bool setAside = false;  // the file it replaced is at "<target>.dpkg-old"
  };
  std::filesystem::path staging(const Staged& s) const;
  std::filesystem::path aside(const Staged& s) const;
  void makeParents(const std::filesystem::path& file);

  std::vector<Staged> staged_;
  std::vector<std::filesystem::path> madeFolders_;  // in the order made
  bool finished_ = false;
};

}  // namespace pxviber::packages
