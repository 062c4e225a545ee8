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

// Writes `bytes` to a temporary file in the same folder, flushes it to disk and
// renames it over `path`, so that a reader sees either the old file or the new one.
// Answers false (leaving the old file in place) when any step fails.
bool writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// fileExistsAtPath: and isReadableFileAtPath: of the default file manager.
bool fileExistsAtPath(const std::filesystem::path& path);
bool isReadableFileAtPath(const std::filesystem::path& path);

}  // namespace platform::foundation
