// JPEG, PNG and EXIF readers and the JPEG writer. Private to platform/graphics.
//
// Every reader takes untrusted bytes: it checks sizes before it allocates, refuses
// more than kMaxImagePixels pixels, and turns every library failure into a null or
// zero answer; nothing here throws, aborts or prints.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/graphics/pixel_source.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics {

bool looksLikeJpeg(std::span<const std::uint8_t> data);
bool looksLikePng(std::span<const std::uint8_t> data);

// A JPEG whose header was read; its pixels are decoded on first use.
struct OpenedJpeg {
  std::shared_ptr<const PixelSource> source;
  int exifOrientation = 0;  // the EXIF tag value, 0 when absent
};
// Reads the header of `data`, which the source keeps; nullptr source when it is not
// a readable JPEG header or declares too many pixels.
OpenedJpeg openJpeg(std::vector<std::uint8_t> data);
// The same for a JPEG file, which the source keeps open and reads again at each
// decode.
OpenedJpeg openJpeg(std::shared_ptr<const foundation::ReadOnlyFile> file);

// Decodes a PNG completely; nullptr when it is damaged, truncated or too large.
// `hasAlpha` says whether the file carries transparency.
std::shared_ptr<const PixelSource> decodePng(std::span<const std::uint8_t> data, bool* hasAlpha);

// The orientation tag (0x0112) of IFD0 of an APP1 payload beginning "Exif\0\0";
// 0 when it is absent, malformed or not a short.
int exifOrientationTag(std::span<const std::uint8_t> app1Payload);

// An APP1 payload carrying only the orientation tag `value`.
std::vector<std::uint8_t> exifOrientationSegment(int value);

// The libjpeg quality (1 to 100) for a platform quality (0 to 1, clamped; NaN is 0).
int libjpegQuality(CGFloat quality);
// The EXIF orientation tag value that stands for `o` (1 for values outside 0 to 7).
int exifOrientationOf(UIImageOrientation o);

// Baseline JPEG, 4:2:0, libjpeg quality 1 to 100, streaming the source in bands of
// rows; writes an APP1 orientation segment when `exifOrientation` is 2 to 8.
std::vector<std::uint8_t> encodeJpeg(const PixelSource& source, int quality, int exifOrientation);
// The same from planes of YCbCr samples; the bytes are those of the same pixels
// given as pixel words.
class JpegPlanes;
std::vector<std::uint8_t> encodeJpeg(const JpegPlanes& planes, int quality, int exifOrientation);

}  // namespace platform::graphics
