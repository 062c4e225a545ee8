#include "tools/pxviber/packages/file_transaction.h"

namespace pxviber::packages {

FileTransaction::~FileTransaction() {
  if (!finished_) rollBack();
}

std::string FileTransaction::staging(const Staged& s) {
  return s.place + std::string(kStagingSuffix);
}
std::string FileTransaction::aside(const Staged& s) { return s.place + std::string(kAsideSuffix); }

void FileTransaction::makeFolder(const std::string& place) {
  tree_.makeFolder(place);
  madeFolders_.push_back(place);
}

void FileTransaction::stageFile(const std::string& place,
                                const platform::foundation::Bytes& content, unsigned mode) {
  staged_.push_back({place});
  tree_.writeFile(staging(staged_.back()), content, mode);
  staged_.back().written = true;
}

void FileTransaction::stageLink(const std::string& place, const std::string& target) {
  staged_.push_back({place});
  tree_.makeLink(staging(staged_.back()), target);
  staged_.back().written = true;
}

void FileTransaction::commit() {
  for (auto& s : staged_) {
    if (tree_.look(s.place).kind != DeviceTree::Entry::Kind::Missing) {
      tree_.rename(s.place, aside(s));
      s.setAside = true;
    }
    tree_.rename(staging(s), s.place);
    s.placed = true;
  }
}

void FileTransaction::finish() {
  for (auto& s : staged_) {
    try {
      if (s.setAside) tree_.remove(aside(s));
    } catch (const std::exception&) {
      // The new files are in place: what could not be dropped stays beside them.
    }
  }
  finished_ = true;
}

void FileTransaction::rollBack() noexcept {
  auto attempt = [](auto step) {
    try {
      step();
    } catch (const std::exception&) {
      // Undoing goes on with the next step: each leaves less behind.
    }
  };
  for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) {
    if (it->written) attempt([&] { tree_.remove(it->placed ? it->place : staging(*it)); });
    if (it->setAside) attempt([&] { tree_.rename(aside(*it), it->place); });
  }
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it)
    attempt([&] { tree_.removeFolder(*it); });
  staged_.clear();
  madeFolders_.clear();
  finished_ = true;
}

}  // namespace pxviber::packages
