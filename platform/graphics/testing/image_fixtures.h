// Test helpers: small bitmaps with known pixels, pixel read-back, JPEG bytes with a
// chosen EXIF segment. Header-only, for test programs.
//
// Colours are written 0xRRGGBBAA (not premultiplied).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/cg_image.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics::testing {

using PixelFunction = std::function<std::uint32_t(int x, int y)>;

// A width × height bitmap whose pixel (x, y) (y from the top) is pixel(x, y).
// `opaque` images use RGB with the alpha byte skipped (as a decoded photo), others
// RGBA with premultiplied alpha.
inline CGImageRef makeImage(int width, int height, const PixelFunction& pixel, bool opaque = true) {
  std::vector<std::uint8_t> bytes(std::size_t(width) * std::size_t(height) * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = pixel(x, y);
      const std::uint32_t a = opaque ? 255 : (c & 0xFF);
      std::uint8_t* p = &bytes[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4];
      p[0] = std::uint8_t((c >> 24) * a / 255);
      p[1] = std::uint8_t(((c >> 16) & 0xFF) * a / 255);
      p[2] = std::uint8_t(((c >> 8) & 0xFF) * a / 255);
      p[3] = std::uint8_t(a);
    }
  }
  const CGImageFormat format{8, 32, CGColorSpaceCreateDeviceRGB(),
                             (opaque ? kCGImageAlphaNoneSkipLast : kCGImageAlphaPremultipliedLast) |
                                 kCGBitmapByteOrder32Big};
  return CGImage::create(std::size_t(width), std::size_t(height), format, std::size_t(width) * 4,
                         bytes);
}

// A colour distinct for every (x, y) of a small bitmap, opaque.
inline std::uint32_t distinct(int x, int y) {
  return (std::uint32_t(20 + 23 * x) << 24) | (std::uint32_t(30 + 29 * y) << 16) |
         (std::uint32_t((7 * x + 13 * y) & 0xFF) << 8) | 0xFF;
}

// The pixels of `image`, row by row from the top, as 0xRRGGBBAA with colour as stored
// (premultiplied for premultiplied layouts).
inline std::vector<std::uint32_t> readPixels(const CGImageRef& image) {
  const std::vector<std::uint8_t> data = image->copyData();
  const std::size_t n = image->width() * image->height();
  std::vector<std::uint32_t> out(n);
  const std::size_t bpp = image->bitsPerPixel() / 8;
  const auto alpha = image->alphaInfo();
  const bool little = (image->bitmapInfo() & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little;
  const bool first = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst ||
                     alpha == kCGImageAlphaNoneSkipFirst;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* p = &data[i * bpp];
    if (bpp == 1) {
      out[i] = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[0]) << 16) | (p[0] << 8) | 0xFF;
      continue;
    }
    if (bpp == 3) {
      out[i] = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (p[2] << 8) | 0xFF;
      continue;
    }
    std::uint8_t l[4] = {p[0], p[1], p[2], p[3]};
    if (little) std::reverse(l, l + 4);
    const std::uint32_t a = first ? l[0] : l[3];
    const std::uint32_t r = first ? l[1] : l[0];
    const std::uint32_t g = first ? l[2] : l[1];
    const std::uint32_t b = first ? l[3] : l[2];
    out[i] = (r << 24) | (g << 16) | (b << 8) | a;
  }
  return out;
}

inline std::uint32_t pixelAt(const std::vector<std::uint32_t>& pixels, const CGImageRef& image,
                             int x, int y) {
  return pixels[std::size_t(y) * image->width() + std::size_t(x)];
}

inline int channel(std::uint32_t rgba, int index) { return int((rgba >> (24 - 8 * index)) & 0xFF); }

// Largest difference of any channel between two colours.
inline int colourDistance(std::uint32_t a, std::uint32_t b) {
  int d = 0;
  for (int i = 0; i < 4; ++i) d = std::max(d, std::abs(channel(a, i) - channel(b, i)));
  return d;
}

inline std::string hex(std::uint32_t rgba) {
  static const char* digits = "0123456789abcdef";
  std::string s(8, '0');
  for (int i = 0; i < 8; ++i) s[std::size_t(i)] = digits[(rgba >> (28 - 4 * i)) & 0xF];
  return s;
}

// JPEG bytes of `image` (quality 0.95) with `app1` inserted as an APP1 segment right
// after the start-of-image marker; no segment when `app1` is empty.
inline std::vector<std::uint8_t> jpegWithApp1(const CGImageRef& image,
                                              const std::vector<std::uint8_t>& app1) {
  auto bytes = *UIImageJPEGRepresentation(UIImage::imageWithCGImage(image), 0.95);
  if (app1.empty()) return bytes;
  const std::size_t length = app1.size() + 2;
  std::vector<std::uint8_t> segment = {0xFF, 0xE1, std::uint8_t(length >> 8),
                                       std::uint8_t(length & 0xFF)};
  segment.insert(segment.end(), app1.begin(), app1.end());
  bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
  return bytes;
}

// An APP1 "Exif" payload with one IFD0 entry: tag 0x0112, `type`, `count`, the
// four value bytes `value` (big-endian TIFF), and IFD0 at `ifdOffset`.
inline std::vector<std::uint8_t> exifPayload(int orientation, std::uint16_t type = 3,
                                             std::uint32_t count = 1, std::uint32_t ifdOffset = 8) {
  auto be32 = [](std::uint32_t v) {
    return std::vector<std::uint8_t>{std::uint8_t(v >> 24), std::uint8_t(v >> 16),
                                     std::uint8_t(v >> 8), std::uint8_t(v)};
  };
  std::vector<std::uint8_t> p = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42};
  auto off = be32(ifdOffset);
  p.insert(p.end(), off.begin(), off.end());
  const std::vector<std::uint8_t> ifd = {
      0, 1, 0x01, 0x12, std::uint8_t(type >> 8), std::uint8_t(type)};
  p.insert(p.end(), ifd.begin(), ifd.end());
  auto c = be32(count);
  p.insert(p.end(), c.begin(), c.end());
  p.insert(p.end(), {std::uint8_t(orientation >> 8), std::uint8_t(orientation), 0, 0});
  p.insert(p.end(), {0, 0, 0, 0});
  return p;
}

}  // namespace platform::graphics::testing
