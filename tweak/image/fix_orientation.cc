#include "tweak/image/fix_orientation.h"

#include "platform/graphics/cg_context.h"

namespace tweak {

using namespace platform::graphics;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;

}  // namespace

std::shared_ptr<UIImage> fixOrientation(const std::shared_ptr<UIImage>& image) {
  if (!image) return nullptr;
  if (image->imageOrientation() == UIImageOrientationUp) return image;

  const CGSize size = image->size();
  const CGFloat w = size.width;
  const CGFloat h = size.height;
  CGAffineTransform transform = CGAffineTransformIdentity;

  // Turning step. The bitmap canvas has y up, so these rotations undo the stored
  // turn as seen from its bottom-left origin.
  switch (image->imageOrientation()) {
    case UIImageOrientationDown:
    case UIImageOrientationDownMirrored:
      transform = CGAffineTransformTranslate(transform, w, h);
      transform = CGAffineTransformRotate(transform, kPi);
      break;
    case UIImageOrientationLeft:
    case UIImageOrientationLeftMirrored:
      transform = CGAffineTransformTranslate(transform, w, 0);
      transform = CGAffineTransformRotate(transform, kHalfPi);
      break;
    case UIImageOrientationRight:
    case UIImageOrientationRightMirrored:
      transform = CGAffineTransformTranslate(transform, 0, h);
      transform = CGAffineTransformRotate(transform, -kHalfPi);
      break;
    default:
      break;
  }

  // Mirroring step, with the orientation read again from the image.
  switch (image->imageOrientation()) {
    case UIImageOrientationUpMirrored:
    case UIImageOrientationDownMirrored:
      transform = CGAffineTransformTranslate(transform, w, 0);
      transform = CGAffineTransformScale(transform, -1, 1);
      break;
    case UIImageOrientationLeftMirrored:
    case UIImageOrientationRightMirrored:
      transform = CGAffineTransformTranslate(transform, h, 0);
      transform = CGAffineTransformScale(transform, -1, 1);
      break;
    default:
      break;
  }

  // One pixel per point of logical size, each side truncated toward zero; the
  // bitmap's format is copied and the canvas chooses the row length.
  const CGImageRef& source = image->CGImage();
  CGContextRef context = CGBitmapContextCreate(
      static_cast<std::size_t>(w), static_cast<std::size_t>(h), CGImageGetBitsPerComponent(source),
      0, CGImageGetColorSpace(source), CGImageGetBitmapInfo(source));
  CGContextConcatCTM(context, transform);
  if (isQuarterTurn(image->imageOrientation())) {
    CGContextDrawImage(context, CGRectMake(0, 0, h, w), source);
  } else {
    CGContextDrawImage(context, CGRectMake(0, 0, w, h), source);
  }

  CGImageRef drawn = CGBitmapContextCreateImage(context);
  auto result = UIImage::imageWithCGImage(drawn);
  context.reset();
  drawn.reset();
  return result;
}

}  // namespace tweak
