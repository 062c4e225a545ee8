// Removal of a test's or a benchmark's scratch tree, such as a device whose bus
// daemon may still be removing its own socket while the tree goes.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace platform::foundation::testing {

// Removes `path` and everything beneath it. Entries that vanish while they are
// being removed are no fault: the removal is tried again (a few times) until
// nothing is left. Answers nothing when the tree is gone, otherwise what is
// left and why; never throws.
inline std::string removeTree(const std::filesystem::path& path) {
  std::error_code ec;
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::filesystem::remove_all(path, ec);
    std::error_code statError;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, statError))) return {};
  }
  return "could not remove " + path.string() + ": " +
         (ec ? ec.message() : std::string("entries keep appearing in it"));
}

}  // namespace platform::foundation::testing
