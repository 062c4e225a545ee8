// The photo path of the send request, as the benchmarks run it: the photo's file,
// read as it is decoded, to the two attachment JPEGs (makeAttachmentJpegs) for a
// 750 × 1334 screen.
#pragma once

#include <cstddef>
#include <filesystem>

namespace bench {

struct PhotoPathOutput {
  std::size_t fullBytes = 0;
  std::size_t previewBytes = 0;
};

// Empty output when the file cannot be read or made into both files.
PhotoPathOutput photoPath(const std::filesystem::path& photo);

}  // namespace bench
