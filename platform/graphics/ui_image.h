// UIImage: a bitmap (CGImage) with a scale factor and an orientation, and the image
// codecs: decoding JPEG and PNG bytes, encoding JPEG.
//
// An image is immutable and may be read from any thread. A decoded JPEG keeps its
// bytes and decodes them when its pixels are first needed, at no more than the
// resolution that use needs (libjpeg-turbo scales by 1/8 to 8/8 while decoding); the
// decoded pixels are kept with the image for later uses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/graphics/cg_image.h"
#include "platform/graphics/geometry.h"

namespace platform::graphics {

// How the stored pixels are turned or mirrored for display. An image may carry any
// integer here; values outside 0 to 7 are kept as they are.
enum UIImageOrientation : int {
  UIImageOrientationUp = 0,
  UIImageOrientationDown = 1,           // turned by half a turn
  UIImageOrientationLeft = 2,           // turned a quarter turn counter-clockwise
  UIImageOrientationRight = 3,          // turned a quarter turn clockwise
  UIImageOrientationUpMirrored = 4,     // mirrored left to right
  UIImageOrientationDownMirrored = 5,   // mirrored top to bottom
  UIImageOrientationLeftMirrored = 6,   // transposed
  UIImageOrientationRightMirrored = 7,  // transposed and turned by half a turn
};

// True for left, right and their mirrored forms, whose displayed width is the stored
// height.
bool isQuarterTurn(UIImageOrientation orientation);

// The image orientation an EXIF orientation tag value stands for: 1, 3, 8, 6, 2, 4,
// 5, 7 are up, down, left, right, up-mirrored, down-mirrored, left-mirrored,
// right-mirrored; any other value is up.
UIImageOrientation orientationFromExif(int exifOrientation);

class UIImage {
 public:
  // imageWithCGImage:scale:orientation:. Answers nullptr for a null bitmap. A scale of
  // 0 or below counts as 1.
  static std::shared_ptr<UIImage> imageWithCGImage(
      CGImageRef image, CGFloat scale = 1, UIImageOrientation orientation = UIImageOrientationUp);

  // initWithData: decodes JPEG or PNG bytes, scale 1. A JPEG takes its orientation
  // from the EXIF orientation tag of its first APP1 "Exif" segment (up when there is
  // none or it is unreadable); a PNG is up. Answers nullptr for data that is neither,
  // a header that cannot be read, and more than kMaxImagePixels pixels. The bytes are
  // copied; a JPEG's scan data is decoded lazily, and damage found there shows as
  // grey pixels, not as a failure. Decoded JPEGs are opaque 32-bit RGB; PNGs are
  // 32-bit RGB, premultiplied when they carry transparency.
  static std::shared_ptr<UIImage> initWithData(std::span<const std::uint8_t> data);
  // The same, taking over the bytes instead of copying them (the platform's data
  // objects are shared, not copied).
  static std::shared_ptr<UIImage> initWithData(foundation::Bytes&& data);
  // initWithContentsOfFile: the same for an open file. A JPEG keeps the file and
  // reads it as it decodes (no copy of its bytes is held); a file changed or cut
  // short meanwhile decodes as damaged data does. A PNG is read whole.
  static std::shared_ptr<UIImage> initWithContentsOfFile(
      std::shared_ptr<const foundation::ReadOnlyFile> file);

  UIImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation);
  UIImage(const UIImage&) = delete;
  UIImage& operator=(const UIImage&) = delete;

  const CGImageRef& CGImage() const { return image_; }
  UIImageOrientation imageOrientation() const { return orientation_; }
  CGFloat scale() const { return scale_; }
  // The displayed size in points: the bitmap's size divided by the scale, width and
  // height exchanged for the quarter-turn orientations.
  CGSize size() const;

 private:
  CGImageRef image_;
  CGFloat scale_;
  UIImageOrientation orientation_;
};

// UIImageJPEGRepresentation: the image's stored pixels as a baseline JPEG (4:2:0
// chroma), `quality` 0 (smallest) to 1 (best), clamped into that range. Transparent
// pixels come out black. An orientation other than up is written as an EXIF
// orientation tag. Answers nullopt for a null image.
//
// An image drawn from a JPEG by moving, turning, mirroring and scaling is rendered
// when it is first encoded, together with every other such drawing of the same
// JPEG that waits to be encoded (the fitted copies of one photo): one decode for
// all of them, whose rows are drawn into each as they are decoded, on a second
// thread joined before this returns. The others' encodes then find their pixels
// ready. A drawing that alone would be drawn from a coarser decode than another
// drawing of the group needs is drawn from the finer one (the same picture,
// resampled from more pixels).
std::optional<foundation::Bytes> UIImageJPEGRepresentation(const std::shared_ptr<UIImage>& image,
                                                           CGFloat quality);

}  // namespace platform::graphics
