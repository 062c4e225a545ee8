#include "tools/pxviber/packages/file_transaction.h"

#include <sys/stat.h>

#include "platform/foundation/error.h"

namespace pxviber::packages {

namespace fs = std::filesystem;
using platform::Error;

FileTransaction::~FileTransaction() {
  if (!finished_) rollBack();
}

fs::path FileTransaction::staging(const Staged& s) const { return s.target.string() + ".dpkg-new"; }
fs::path FileTransaction::aside(const Staged& s) const { return s.target.string() + ".dpkg-old"; }

void FileTransaction::makeFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  makeParents(folder);
  if (!fs::create_directory(folder, ec) && ec)
    throw Error("cannot make the folder " + folder.string() + ": " + ec.message());
  madeFolders_.push_back(folder);
}

void FileTransaction::makeParents(const fs::path& file) {
  fs::path parent = file.parent_path();
  std::error_code ec;
  if (parent.empty() || fs::is_directory(parent, ec)) return;
  makeFolder(parent);
}

void FileTransaction::stageFile(const fs::path& target, const platform::foundation::Bytes& content,
                                unsigned mode) {
  makeParents(target);
  staged_.push_back({target});
  fs::path path = staging(staged_.back());
  if (!platform::foundation::writeFileAtomically(path, content))
    throw Error("cannot write " + path.string());
  ::chmod(path.c_str(), mode);
}

void FileTransaction::stageLink(const fs::path& target, const std::string& linkTarget) {
  makeParents(target);
  staged_.push_back({target});
  fs::path path = staging(staged_.back());
  std::error_code ec;
  fs::remove(path, ec);
  fs::create_symlink(linkTarget, path, ec);
  if (ec) throw Error("cannot make the link " + path.string() + ": " + ec.message());
}

void FileTransaction::commit() {
  for (auto& s : staged_) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(s.target, ec))) {
      fs::rename(s.target, aside(s), ec);
      if (ec) throw Error("cannot set " + s.target.string() + " aside: " + ec.message());
      s.setAside = true;
    }
    fs::rename(staging(s), s.target, ec);
    if (ec) throw Error("cannot put " + s.target.string() + " in place: " + ec.message());
    s.placed = true;
  }
}

void FileTransaction::finish() {
  for (auto& s : staged_) {
    std::error_code ec;
    if (s.setAside) fs::remove(aside(s), ec);
  }
  finished_ = true;
}

void FileTransaction::rollBack() noexcept {
  std::error_code ec;
  for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) {
    fs::remove(it->placed ? it->target : staging(*it), ec);
    if (it->setAside) fs::rename(aside(*it), it->target, ec);
  }
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) fs::remove(*it, ec);
  staged_.clear();
  madeFolders_.clear();
  finished_ = true;
}

}  // namespace pxviber::packages
