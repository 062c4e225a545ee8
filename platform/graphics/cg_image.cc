#include "platform/graphics/cg_image.h"

#include <algorithm>

#include "platform/graphics/pixel_format.h"
#include "platform/graphics/pixel_source.h"

namespace platform::graphics {

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() {
  static const CGColorSpaceRef rgb =
      std::make_shared<CGColorSpace>(CGColorSpace{CGColorSpaceModel::kCGColorSpaceModelRGB});
  return rgb;
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray() {
  static const CGColorSpaceRef gray =
      std::make_shared<CGColorSpace>(CGColorSpace{CGColorSpaceModel::kCGColorSpaceModelMonochrome});
  return gray;
}

bool CGImageFormat::isOpaque() const {
  const auto a = alphaInfo();
  return a == kCGImageAlphaNone || a == kCGImageAlphaNoneSkipFirst ||
         a == kCGImageAlphaNoneSkipLast;
}

bool CGImageFormat::isSupportedImageLayout() const {
  if (bitsPerComponent != 8 || !colorSpace) return false;
  if ((bitmapInfo & ~(kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask)) != 0) return false;
  const auto alpha = alphaInfo();
  const auto order = bitmapInfo & kCGBitmapByteOrderMask;
  if (alpha > kCGImageAlphaOnly) return false;
  if (colorSpace->model == CGColorSpaceModel::kCGColorSpaceModelMonochrome) {
    return bitsPerPixel == 8 && alpha == kCGImageAlphaNone && order == kCGBitmapByteOrderDefault;
  }
  if (bitsPerPixel == 24) return alpha == kCGImageAlphaNone && order == kCGBitmapByteOrderDefault;
  return bitsPerPixel == 32 && alpha != kCGImageAlphaNone && alpha != kCGImageAlphaOnly &&
         (order == kCGBitmapByteOrderDefault || order == kCGBitmapByteOrder32Big ||
          order == kCGBitmapByteOrder32Little);
}

CGImageFormat nativeFormat(bool opaque) {
  return {8, 32, CGColorSpaceCreateDeviceRGB(),
          (opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst) |
              kCGBitmapByteOrder32Little};
}

namespace {

inline std::uint32_t word(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

inline std::uint32_t premultiply(std::uint32_t c, std::uint32_t a) { return (c * a + 127) / 255; }
inline std::uint32_t unpremultiply(std::uint32_t c, std::uint32_t a) {
  return a == 0 ? 0 : std::min<std::uint32_t>(255, (c * 255 + a / 2) / a);
}

bool alphaFirst(CGImageAlphaInfo a) {
  return a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst ||
         a == kCGImageAlphaNoneSkipFirst;
}

}  // namespace

void unpackRow(const CGImageFormat& f, const std::uint8_t* in, std::size_t count,
               std::uint32_t* out) {
  if (f.bitsPerPixel == 8) {
    for (std::size_t i = 0; i < count; ++i) out[i] = word(255, in[i], in[i], in[i]);
    return;
  }
  if (f.bitsPerPixel == 24) {
    for (std::size_t i = 0; i < count; ++i, in += 3) out[i] = word(255, in[0], in[1], in[2]);
    return;
  }
  const auto alpha = f.alphaInfo();
  const bool little = (f.bitmapInfo & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little;
  const bool first = alphaFirst(alpha);
  for (std::size_t i = 0; i < count; ++i, in += 4) {
    std::uint8_t l[4] = {in[0], in[1], in[2], in[3]};
    if (little) std::reverse(l, l + 4);
    std::uint32_t a = first ? l[0] : l[3];
    std::uint32_t r = first ? l[1] : l[0];
    std::uint32_t g = first ? l[2] : l[1];
    std::uint32_t b = first ? l[3] : l[2];
    if (alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast) {
      a = 255;
    } else if (alpha == kCGImageAlphaFirst || alpha == kCGImageAlphaLast) {
      r = premultiply(r, a), g = premultiply(g, a), b = premultiply(b, a);
    } else {
      r = std::min(r, a), g = std::min(g, a), b = std::min(b, a);
    }
    out[i] = word(a, r, g, b);
  }
}

void packRow(const CGImageFormat& f, const std::uint32_t* in, std::size_t count,
             std::uint8_t* out) {
  auto channels = [](std::uint32_t p, std::uint32_t& a, std::uint32_t& r, std::uint32_t& g,
                     std::uint32_t& b) {
    a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  };
  std::uint32_t a, r, g, b;
  if (f.bitsPerPixel == 8) {
    for (std::size_t i = 0; i < count; ++i) {
      channels(in[i], a, r, g, b);
      out[i] = std::uint8_t((r * 77 + g * 150 + b * 29 + 128) >> 8);
    }
    return;
  }
  if (f.bitsPerPixel == 24) {
    for (std::size_t i = 0; i < count; ++i, out += 3) {
      channels(in[i], a, r, g, b);
      out[0] = std::uint8_t(r), out[1] = std::uint8_t(g), out[2] = std::uint8_t(b);
    }
    return;
  }
  const auto alpha = f.alphaInfo();
  const bool little = (f.bitmapInfo & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little;
  const bool first = alphaFirst(alpha);
  for (std::size_t i = 0; i < count; ++i, out += 4) {
    channels(in[i], a, r, g, b);
    if (alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast) {
      a = 255;
    } else if (alpha == kCGImageAlphaFirst || alpha == kCGImageAlphaLast) {
      r = unpremultiply(r, a), g = unpremultiply(g, a), b = unpremultiply(b, a);
    }
    std::uint8_t l[4];
    if (first) {
      l[0] = std::uint8_t(a), l[1] = std::uint8_t(r), l[2] = std::uint8_t(g),
      l[3] = std::uint8_t(b);
    } else {
      l[0] = std::uint8_t(r), l[1] = std::uint8_t(g), l[2] = std::uint8_t(b),
      l[3] = std::uint8_t(a);
    }
    if (little) std::reverse(l, l + 4);
    std::copy(l, l + 4, out);
  }
}

CGImageRef CGImage::create(std::size_t width, std::size_t height, const CGImageFormat& format,
                           std::size_t bytesPerRow, std::span<const std::uint8_t> data) {
  if (width == 0 || height == 0 || !format.isSupportedImageLayout()) return nullptr;
  if (!withinPixelLimit(width, height)) return nullptr;
  // Each row's bytes must lie inside `data`. Compared by division: the product
  // of the stride and the row count can pass the width of size_t.
  const std::size_t rowBytes = width * bytesPerPixel(format);
  if (bytesPerRow < rowBytes || data.size() < rowBytes ||
      (height > 1 && bytesPerRow > (data.size() - rowBytes) / (height - 1))) {
    return nullptr;
  }
  auto raster = std::make_shared<Raster>(int(width), int(height));
  for (std::size_t y = 0; y < height; ++y) {
    unpackRow(format, data.data() + y * bytesPerRow, width, raster->row(int(y)));
  }
  return std::make_shared<CGImage>(
      format, std::make_shared<RasterSource>(std::move(raster), format.isOpaque()));
}

CGImage::CGImage(CGImageFormat format, std::shared_ptr<const PixelSource> source)
    : format_(std::move(format)), source_(std::move(source)) {}

CGImage::~CGImage() = default;

std::size_t CGImage::width() const { return std::size_t(source_->width()); }
std::size_t CGImage::height() const { return std::size_t(source_->height()); }
std::size_t CGImage::bytesPerRow() const { return width() * bytesPerPixel(format_); }

std::vector<std::uint8_t> CGImage::copyData() const {
  const std::size_t w = width(), h = height(), rowBytes = bytesPerRow();
  std::vector<std::uint8_t> out(rowBytes * h);
  // Rows are produced in bands, so that a drawing kept as a drawing is rendered
  // without holding a second full copy of the pixels.
  constexpr int kBand = 64;
  std::vector<std::uint32_t> band(w * kBand);
  for (std::size_t y = 0; y < h; y += kBand) {
    const std::size_t n = std::min<std::size_t>(kBand, h - y);
    source_->readRows(int(y), int(y + n), band.data());
    for (std::size_t i = 0; i < n; ++i) {
      packRow(format_, band.data() + i * w, w, out.data() + (y + i) * rowBytes);
    }
  }
  return out;
}

std::size_t CGImageGetWidth(const CGImageRef& image) { return image ? image->width() : 0; }
std::size_t CGImageGetHeight(const CGImageRef& image) { return image ? image->height() : 0; }
std::size_t CGImageGetBitsPerComponent(const CGImageRef& image) {
  return image ? image->bitsPerComponent() : 0;
}
std::size_t CGImageGetBitsPerPixel(const CGImageRef& image) {
  return image ? image->bitsPerPixel() : 0;
}
CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& image) {
  return image ? image->colorSpace() : nullptr;
}
CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef& image) {
  return image ? image->bitmapInfo() : 0;
}
CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef& image) {
  return image ? image->alphaInfo() : kCGImageAlphaNone;
}

}  // namespace platform::graphics
