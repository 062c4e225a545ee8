// Whole-file reads and atomic whole-file writes.
//
// Any thread may call these functions. They never throw: a failure answers
// std::nullopt or false, as the platform's file calls answer nil or NO.
#pragma once

#include <cstdint>
#include <filesystem>
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

}  // namespace platform::foundation
