// CGImage: an immutable bitmap with its pixel format.
//
// An image describes its pixels the way the platform does (width, height, bits per
// component and per pixel, colour space, bitmap information) but need not hold them
// yet: a decoded JPEG is decoded on first use, and a bitmap taken from a canvas on
// which one picture was drawn keeps the drawing instead of its pixels, so that a chain
// of moves, turns and scalings is rendered once, at the end, from the original.
// Either way the pixels read back are the same as if each step had been drawn at once,
// up to the resampling filter.
//
// Images are shared, immutable and safe to read from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform::graphics {

class PixelSource;  // how the pixels are produced; private to this library

// CGImageAlphaInfo: where the alpha component sits and whether colour is premultiplied.
enum CGImageAlphaInfo : std::uint32_t {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
  kCGImageAlphaOnly = 7,
};

// CGBitmapInfo: an alpha info value or'ed with a byte order.
using CGBitmapInfo = std::uint32_t;
inline constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;
inline constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4 << 12;

enum class CGColorSpaceModel { kCGColorSpaceModelMonochrome = 0, kCGColorSpaceModelRGB = 1 };

// A device colour space; compared by model.
struct CGColorSpace {
  CGColorSpaceModel model;
  std::size_t numberOfComponents() const {
    return model == CGColorSpaceModel::kCGColorSpaceModelRGB ? 3 : 1;
  }
};
using CGColorSpaceRef = std::shared_ptr<const CGColorSpace>;
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();

// The layout of one image's pixels.
struct CGImageFormat {
  std::size_t bitsPerComponent = 8;
  std::size_t bitsPerPixel = 32;
  CGColorSpaceRef colorSpace;
  CGBitmapInfo bitmapInfo = 0;

  CGImageAlphaInfo alphaInfo() const {
    return static_cast<CGImageAlphaInfo>(bitmapInfo & kCGBitmapAlphaInfoMask);
  }
  // True when the format has no usable alpha (None, NoneSkipFirst, NoneSkipLast).
  bool isOpaque() const;
  // True for the layouts an image can be made of: 8 bits per component; RGB in 24 bits
  // without alpha or in 32 bits with any alpha placement except Only; grey in 8 bits
  // without alpha. 32-bit layouts take the default, 32Big or 32Little byte order.
  bool isSupportedImageLayout() const;
};

class CGImage;
using CGImageRef = std::shared_ptr<const CGImage>;

class CGImage {
 public:
  // CGImageCreate over a copy of `data`: rows of `bytesPerRow` bytes laid out as
  // `format` says. Answers nullptr for a zero size, an unsupported layout, a row
  // length too short for the width, or data shorter than height rows, and for more
  // pixels than kMaxImagePixels.
  static CGImageRef create(std::size_t width, std::size_t height, const CGImageFormat& format,
                           std::size_t bytesPerRow, std::span<const std::uint8_t> data);

  // For this library: an image of `format` whose pixels come from `source`.
  CGImage(CGImageFormat format, std::shared_ptr<const PixelSource> source);
  ~CGImage();
  CGImage(const CGImage&) = delete;
  CGImage& operator=(const CGImage&) = delete;

  std::size_t width() const;
  std::size_t height() const;
  std::size_t bitsPerComponent() const { return format_.bitsPerComponent; }
  std::size_t bitsPerPixel() const { return format_.bitsPerPixel; }
  // Row length of copyData(): the width times the bytes per pixel.
  std::size_t bytesPerRow() const;
  const CGColorSpaceRef& colorSpace() const { return format_.colorSpace; }
  CGBitmapInfo bitmapInfo() const { return format_.bitmapInfo; }
  CGImageAlphaInfo alphaInfo() const { return format_.alphaInfo(); }
  const CGImageFormat& format() const { return format_; }

  // CGDataProviderCopyData of the image's provider: all pixels in this image's own
  // layout, height() rows of bytesPerRow() bytes. Renders or decodes the pixels if
  // they are not held yet (the cost of a full decode for a fresh JPEG). The skipped
  // byte of a NoneSkip layout reads 0xFF.
  std::vector<std::uint8_t> copyData() const;

  // For this library: where the pixels come from.
  const std::shared_ptr<const PixelSource>& source() const { return source_; }

 private:
  CGImageFormat format_;
  std::shared_ptr<const PixelSource> source_;
};

// The platform's accessor functions; each answers 0 or nullptr for a null image.
std::size_t CGImageGetWidth(const CGImageRef& image);
std::size_t CGImageGetHeight(const CGImageRef& image);
std::size_t CGImageGetBitsPerComponent(const CGImageRef& image);
std::size_t CGImageGetBitsPerPixel(const CGImageRef& image);
CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& image);
CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef& image);
CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef& image);

// The largest number of pixels of any bitmap this library makes: images created from
// data, decoded images and canvases. 2^26 (about 67 million) pixels is 256 MiB at 4
// bytes per pixel; it takes the 48- and 50-megapixel photos of current phone cameras
// and bounds what a hostile header can make the decoder allocate.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t(1) << 26;

// True when a `width` × `height` bitmap has at most kMaxImagePixels pixels. The
// product is taken in 64 bits: in a 32-bit size_t, 65537 × 65537 wraps to 131073.
inline bool withinPixelLimit(std::size_t width, std::size_t height) {
  return width <= kMaxImagePixels && height <= kMaxImagePixels &&
         std::uint64_t(width) * std::uint64_t(height) <= kMaxImagePixels;
}

}  // namespace platform::graphics
