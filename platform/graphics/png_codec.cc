// PNG decoding with libpng's simplified reader, which handles every bit depth,
// palette and interlacing, and reports damage as a failed call instead of a jump.
#include <png.h>

#include <algorithm>
#include <cstring>

#include "platform/graphics/cg_image.h"
#include "platform/graphics/codecs.h"

namespace platform::graphics {

bool looksLikePng(std::span<const std::uint8_t> data) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return data.size() >= 8 && std::equal(kSignature, kSignature + 8, data.begin());
}

std::shared_ptr<const PixelSource> decodePng(std::span<const std::uint8_t> data, bool* hasAlpha) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return nullptr;
  const std::uint64_t pixels = std::uint64_t(image.width) * image.height;
  if (image.width == 0 || image.height == 0 || pixels > kMaxImagePixels) {
    png_image_free(&image);
    return nullptr;
  }
  *hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  // B, G, R, A bytes are this library's pixel word on a little-endian machine.
  image.format = PNG_FORMAT_BGRA;
  auto raster = std::make_shared<Raster>(int(image.width), int(image.height));
  if (!png_image_finish_read(&image, nullptr, raster->pixels.data(),
                             static_cast<png_int_32>(image.width * 4), nullptr)) {
    png_image_free(&image);
    return nullptr;
  }
  if (*hasAlpha) {
    for (std::uint32_t& p : raster->pixels) {
      const std::uint32_t a = p >> 24;
      if (a == 255) continue;
      auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      p = (a << 24) | (pre((p >> 16) & 0xFF) << 16) | (pre((p >> 8) & 0xFF) << 8) | pre(p & 0xFF);
    }
  }
  return std::make_shared<RasterSource>(std::move(raster), !*hasAlpha);
}

}  // namespace platform::graphics
