// Fuzzes image decoding: JPEG and PNG headers and scan data, the EXIF orientation
// read, drawing a decoded image (which runs the lazy, scaled JPEG decode), and
// encoding two drawings of it made before either is encoded (the first encode
// renders both from one decode streamed on two threads; the second finds its
// pixels ready).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/graphics/cg_context.h"
#include "platform/graphics/codecs.h"
#include "platform/graphics/ui_image.h"

using namespace platform::graphics;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  // The same bytes as an EXIF segment.
  std::vector<std::uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
  exif.insert(exif.end(), data, data + size);
  const int tag = exifOrientationTag(exif);
  (void)orientationFromExif(tag);

  const auto image = UIImage::initWithData(bytes);
  if (!image) return 0;
  const auto o = image->imageOrientation();
  if (o < 0 || o > 7) __builtin_trap();
  const CGSize logical = image->size();
  if (!(logical.width > 0 && logical.height > 0)) __builtin_trap();

  // Drawing small decodes at the smallest scale; a full read decodes everything,
  // kept to images small enough for the fuzzer's pace.
  const auto canvas =
      CGBitmapContextCreate(17, 13, 8, 0, CGColorSpaceCreateDeviceRGB(),
                            kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
  CGContextTranslateCTM(canvas, 17, 0);
  CGContextRotateCTM(canvas, 1.5707963267948966);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 13, 17), image->CGImage());
  (void)UIImageJPEGRepresentation(UIImage::imageWithCGImage(CGBitmapContextCreateImage(canvas)),
                                  0.5);

  const auto small = CGBitmapContextCreate(9, 7, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                           kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
  CGContextDrawImage(small, CGRectMake(0, 0, 9, 7), image->CGImage());
  const auto turned = UIImage::imageWithCGImage(CGBitmapContextCreateImage(canvas));
  const auto fitted = UIImage::imageWithCGImage(CGBitmapContextCreateImage(small));
  if (!UIImageJPEGRepresentation(turned, 0.7) || !UIImageJPEGRepresentation(fitted, 0.4)) {
    __builtin_trap();
  }
  const auto& bitmap = image->CGImage();
  if (bitmap->width() * bitmap->height() <= 1024 * 1024) (void)bitmap->copyData();
  return 0;
}
