// A scratch folder for one test: a new folder of its own under the system's
// temporary folder, removed with everything in it when the object goes. Tests
// that need a device root, a database or a settings file make them in one.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/testing/remove_tree.h"

namespace platform::foundation::testing {

class ScratchFolder {
 public:
  // The folder is named "<prefix>-XXXXXX"; throws platform::Error when it cannot
  // be made.
  explicit ScratchFolder(const std::string& prefix = "pxviber-test") {
    std::string name = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(name.data())) throw SystemError("mkdtemp " + name, errno);
    path_ = name;
  }
  // A folder that cannot be removed whole is said on stderr: something still
  // writes into it.
  ~ScratchFolder() {
    if (std::string left = removeTree(path_); !left.empty())
      std::fprintf(stderr, "%s\n", left.c_str());
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const {
    return path_ / relative;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace platform::foundation::testing
