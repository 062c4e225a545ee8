// Photo-like JPEG files for the photo path benchmark, made by the benchmark itself:
// smooth multi-scale shading, a few hard-edged shapes and per-pixel grain, encoded
// at quality 0.92 with 4:2:0 chroma and EXIF orientation 6 (turned right), as a
// phone camera writes a portrait shot.
#pragma once

#include <filesystem>
#include <vector>

namespace bench {

// The JPEG bytes of a width × height photo (stored size, before the orientation).
std::vector<unsigned char> makePhotoJpeg(int width, int height);

// The path of the fixture in `folder`, created on first use and reused after.
std::filesystem::path photoFixture(const std::filesystem::path& folder, int width, int height);

}  // namespace bench
