// The tweak's file operations, behind one narrow port.
//
// Every read and write of the settings file and every file test the tweak
// makes goes through the FileOperations of its process state
// (process_state.h), so that each is one place where a test can make it fail:
// derive from FileOperationsWrapper, override the one operation, and answer
// its failure. The operations are the Foundation calls the tweak makes, with
// the results those calls give.
//
// Implementations may be called from any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "platform/foundation/property_list.h"

namespace tweak {

class FileOperations {
 public:
  virtual ~FileOperations() = default;

  // dictionaryWithContentsOfFile:; nullopt for a missing, unreadable or
  // malformed file.
  virtual std::optional<platform::foundation::Dictionary> readDictionary(
      const std::filesystem::path& path) = 0;
  // The locked read-modify-write of a dictionary file
  // (platform::foundation::updateDictionaryFile). Its steps fail in its
  // result: the lock (lockFailed: nothing read or written), the read of a
  // damaged file (keptAside), the write or the rename (written false, the old
  // file left in place).
  virtual platform::foundation::UpdateResult updateDictionary(
      const std::filesystem::path& path,
      const std::function<void(platform::foundation::Dictionary&)>& change,
      platform::foundation::FolderSync folder) = 0;
  // Flushes the names in the folder of `path` (after a FolderSync::Later write).
  virtual void syncFolder(const std::filesystem::path& path) = 0;
  // fileExistsAtPath: and isReadableFileAtPath:.
  virtual bool fileExists(const std::filesystem::path& path) = 0;
  virtual bool isReadableFile(const std::filesystem::path& path) = 0;
};

// The device's own files, through the platform's calls. Stateless.
FileOperations& deviceFileOperations();

// Forwards every operation to `target`; a test double overrides the one it fails.
class FileOperationsWrapper : public FileOperations {
 public:
  explicit FileOperationsWrapper(FileOperations& target) : target_(target) {}
  std::optional<platform::foundation::Dictionary> readDictionary(
      const std::filesystem::path& path) override {
    return target_.readDictionary(path);
  }
  platform::foundation::UpdateResult updateDictionary(
      const std::filesystem::path& path,
      const std::function<void(platform::foundation::Dictionary&)>& change,
      platform::foundation::FolderSync folder) override {
    return target_.updateDictionary(path, change, folder);
  }
  void syncFolder(const std::filesystem::path& path) override { target_.syncFolder(path); }
  bool fileExists(const std::filesystem::path& path) override { return target_.fileExists(path); }
  bool isReadableFile(const std::filesystem::path& path) override {
    return target_.isReadableFile(path);
  }

 private:
  FileOperations& target_;
};

}  // namespace tweak
