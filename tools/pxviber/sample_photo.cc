#include "tools/pxviber/sample_photo.h"

#include <cstdint>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/graphics/ui_image.h"

namespace pxviber {

namespace graphics = platform::graphics;

void writeSamplePhoto(const std::filesystem::path& path) {
  const int w = 4032, h = 3024;
  std::vector<std::uint8_t> pixels(std::size_t(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &pixels[(std::size_t(y) * w + x) * 4];
      p[0] = std::uint8_t(x * 255 / w);
      p[1] = std::uint8_t(y * 255 / h);
      p[2] = std::uint8_t(((x / 200 + y / 200) % 2) * 120 + 60);
      p[3] = 255;
    }
  }
  graphics::CGImageFormat format{
      8, 32, graphics::CGColorSpaceCreateDeviceRGB(),
      graphics::kCGImageAlphaNoneSkipLast | graphics::kCGBitmapByteOrder32Big};
  // Orientation "right" is stored as EXIF orientation 6.
  auto image = graphics::UIImage::imageWithCGImage(
      graphics::CGImage::create(w, h, format, std::size_t(w) * 4, pixels), 1,
      graphics::UIImageOrientationRight);
  auto jpeg = graphics::UIImageJPEGRepresentation(image, 0.9);
  if (!jpeg || !platform::foundation::writeFileAtomically(path, *jpeg))
    throw platform::Error("cannot write the sample photo " + path.string());
}

}  // namespace pxviber
