// Whole-file reads, files read piece by piece, and atomic whole-file writes.
//
// Any thread may call these functions. They never throw: a failure answers
// std::nullopt or false, as the platform's file calls answer nil or NO.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::foundation {

using Bytes = std::vector<std::uint8_t>;

// All bytes of a regular file; nullopt when it is missing, unreadable or not a
// regular file, or larger than `limit` bytes.
std::optional<Bytes> readFile(const std::filesystem::path& path,
                              std::uintmax_t limit = std::uintmax_t(1) << 31);

// A regular file open for reading, read at any offset, piece by piece: for a large
// file that is read once from start to end, a reader that reads as it goes touches
// a small buffer, where a whole-file read first fills megabytes of fresh memory.
// The size is the file's when it was opened; a file cut short later gives short
// reads, never a fault. Any thread may read; the file closes with the last owner.
class ReadOnlyFile {
 public:
  // nullptr when the file is missing, unreadable or not a regular file, or larger
  // than `limit` bytes.
  static std::shared_ptr<const ReadOnlyFile> open(const std::filesystem::path& path,
                                                  std::uintmax_t limit = std::uintmax_t(1) << 31);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  std::uint64_t size() const { return size_; }
  // Reads up to out.size() bytes at `offset` into `out`; answers how many were
  // read: fewer at the end of the file, 0 past it or on an error.
  std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

 private:
  ReadOnlyFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

// When the folder of a file written atomically is flushed, which makes the new
// name itself survive a crash. `Now`: before writeFileAtomically returns. `Later`:
// when the writer calls syncFolderOf(), for a writer that first tells a reader
// the file is there (the reader sees the new file as soon as it is renamed).
enum class FolderSync { Now, Later };

// Writes `bytes` to a temporary file in the same folder, flushes it to disk and
// renames it over `path`, so that a reader sees either the old file or the new one
// (and, after a crash, never a partial one). Answers false (leaving the old file in
// place) when any step fails.
bool writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         FolderSync folder = FolderSync::Now);

// Flushes the names in the folder of `path` to disk (the second half of a write
// made with FolderSync::Later).
void syncFolderOf(const std::filesystem::path& path);

// fileExistsAtPath: and isReadableFileAtPath: of the default file manager.
bool fileExistsAtPath(const std::filesystem::path& path);
bool isReadableFileAtPath(const std::filesystem::path& path);

// Whether the two paths lead to the same place, each made canonical as far as
// it exists (links followed, "." and ".." resolved, relative to the working
// folder); false when either cannot be resolved.
bool samePath(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace platform::foundation
