// PNG bytes for tests, written with libpng (tests that include this link it).
#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/graphics/testing/image_fixtures.h"

namespace platform::graphics::testing {

// A w × h PNG of `rgba` (0xRRGGBBAA per pixel), with or without its alpha channel.
inline std::vector<std::uint8_t> encodePng(int w, int h, const PixelFunction& rgba,
                                           bool alpha = true) {
  const std::size_t channels = alpha ? 4 : 3;
  std::vector<std::uint8_t> pixels(std::size_t(w) * std::size_t(h) * channels);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = rgba(x, y);
      for (std::size_t i = 0; i < channels; ++i) {
        pixels[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * channels + i] =
            std::uint8_t(c >> (24 - 8 * i));
      }
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(w);
  image.height = png_uint_32(h);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  std::vector<std::uint8_t> out(size);
  png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
  out.resize(size);
  return out;
}

}  // namespace platform::graphics::testing
