// Conversion between an image's declared layout and this library's pixel word.
// Private to platform/graphics.
#pragma once

#include <cstdint>

#include "platform/graphics/cg_image.h"

namespace platform::graphics {

// Bytes per pixel of a supported layout.
inline std::size_t bytesPerPixel(const CGImageFormat& f) { return f.bitsPerPixel / 8; }

// Reads `count` pixels of layout `f` from `in` into premultiplied 0xAARRGGBB words.
void unpackRow(const CGImageFormat& f, const std::uint8_t* in, std::size_t count,
               std::uint32_t* out);
// Writes `count` premultiplied words as layout `f`.
void packRow(const CGImageFormat& f, const std::uint32_t* in, std::size_t count, std::uint8_t* out);

// The layout of decoded images and of canvases made by this library: 32-bit RGB,
// premultiplied alpha first (or skipped, for `opaque`), little-endian words.
CGImageFormat nativeFormat(bool opaque);

}  // namespace platform::graphics
