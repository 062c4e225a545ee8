#include "tweak/core/file_operations.h"

namespace tweak {

namespace foundation = platform::foundation;

namespace {

class DeviceFileOperations final : public FileOperations {
 public:
  std::optional<foundation::Dictionary> readDictionary(const std::filesystem::path& path) override {
    return foundation::readDictionaryFile(path);
  }
  foundation::UpdateResult updateDictionary(
      const std::filesystem::path& path, const std::function<void(foundation::Dictionary&)>& change,
      foundation::FolderSync folder) override {
    return foundation::updateDictionaryFile(path, change, folder);
  }
  void syncFolder(const std::filesystem::path& path) override { foundation::syncFolderOf(path); }
  bool fileExists(const std::filesystem::path& path) override {
    return foundation::fileExistsAtPath(path);
  }
  bool isReadableFile(const std::filesystem::path& path) override {
    return foundation::isReadableFileAtPath(path);
  }
};

}  // namespace

FileOperations& deviceFileOperations() {
  // Stateless: one instance serves the whole process.
  static DeviceFileOperations files;
  return files;
}

}  // namespace tweak
