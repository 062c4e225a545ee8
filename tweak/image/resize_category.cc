#include "tweak/image/resize_category.h"

#include <cmath>

#include "platform/foundation/exception.h"
#include "platform/graphics/cg_context.h"
#include "platform/graphics/ui_graphics.h"

namespace tweak {

using namespace platform::graphics;
using platform::foundation::NSException;
using platform::foundation::NSInternalInconsistencyException;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kThreeHalvesPi = 4.71238898038469;

// The dependent side of a fitted size: the double product rounded to single
// precision first, then down to a whole number. 1179 × (1280 / 1572) is
// 959.9999999999999 in double precision but 960 in single precision.
double floorInSinglePrecision(double product) {
  return std::floor(static_cast<double>(static_cast<float>(product)));
}

}  // namespace

std::shared_ptr<UIImage> resizedImageToSize(const std::shared_ptr<UIImage>& image, CGSize newSize) {
  if (!image) return nullptr;
  const CGImageRef& bitmap = image->CGImage();
  const double W = static_cast<double>(CGImageGetWidth(bitmap));
  const double H = static_cast<double>(CGImageGetHeight(bitmap));
  if (W == newSize.width && H == newSize.height) return image;

  CGAffineTransform transform = CGAffineTransformIdentity;
  bool exchanged = false;
  switch (image->imageOrientation()) {
    case UIImageOrientationUp:
      break;
    case UIImageOrientationDown:
      transform = CGAffineTransformMakeTranslation(W, H);
      transform = CGAffineTransformRotate(transform, kPi);
      break;
    case UIImageOrientationLeft:
      transform = CGAffineTransformMakeTranslation(0, W);
      transform = CGAffineTransformRotate(transform, kThreeHalvesPi);
      exchanged = true;
      break;
    case UIImageOrientationRight:
      transform = CGAffineTransformMakeTranslation(H, 0);
      transform = CGAffineTransformRotate(transform, kHalfPi);
      exchanged = true;
      break;
    case UIImageOrientationUpMirrored:
      transform = CGAffineTransformMakeTranslation(W, 0);
      transform = CGAffineTransformScale(transform, -1, 1);
      break;
    case UIImageOrientationDownMirrored:
      transform = CGAffineTransformMakeTranslation(0, H);
      transform = CGAffineTransformScale(transform, 1, -1);
      break;
    case UIImageOrientationLeftMirrored:
      // Transposed: stored (i, j) lands at ratio · (j, i), upright and anchored
      // top-left like the other orientations.
      transform = CGAffineTransformMakeTranslation(H, H);
      transform = CGAffineTransformRotate(transform, kThreeHalvesPi);
      transform = CGAffineTransformScale(transform, 1, -1);
      exchanged = true;
      break;
    case UIImageOrientationRightMirrored:
      // Transposed and half turned: stored (i, j) lands at ratio · (H − j, W − i).
      transform = CGAffineTransformMakeTranslation(0, H - W);
      transform = CGAffineTransformRotate(transform, kHalfPi);
      transform = CGAffineTransformScale(transform, 1, -1);
      exchanged = true;
      break;
    default:
      // Raised before any canvas is opened.
      NSException::raise(NSInternalInconsistencyException, "Invalid image orientation");
  }

  const CGSize canvasSize = exchanged ? CGSizeMake(newSize.height, newSize.width) : newSize;
  UIGraphicsBeginImageContextWithOptions(canvasSize, false, image->scale());
  CGContextRef context = UIGraphicsGetCurrentContext();
  if (!context) return nullptr;

  // Only the width ratio is used: the picture keeps its proportions, and a target
  // of other proportions leaves a transparent band or cuts the picture off.
  const double ratio = newSize.width / W;
  const UIImageOrientation orientation = image->imageOrientation();
  if (orientation == UIImageOrientationLeft || orientation == UIImageOrientationRight) {
    CGContextScaleCTM(context, -ratio, ratio);
    CGContextTranslateCTM(context, -H, 0);
  } else {
    CGContextScaleCTM(context, ratio, -ratio);
    CGContextTranslateCTM(context, 0, -H);
  }
  CGContextConcatCTM(context, transform);
  CGContextDrawImage(context, CGRectMake(0, 0, W, H), bitmap);

  auto result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return result;
}

std::shared_ptr<UIImage> resizedImageToFitInSize(const std::shared_ptr<UIImage>& image,
                                                 CGSize boundingSize, bool scaleIfSmaller) {
  if (!image) return nullptr;
  const CGImageRef& bitmap = image->CGImage();
  const double W = static_cast<double>(CGImageGetWidth(bitmap));
  const double H = static_cast<double>(CGImageGetHeight(bitmap));
  CGSize bound = boundingSize;
  if (isQuarterTurn(image->imageOrientation())) {
    bound = CGSizeMake(boundingSize.height, boundingSize.width);
  }

  CGSize target;
  if (!scaleIfSmaller && W < bound.width && H < bound.height) {
    target = CGSizeMake(W, H);
  } else {
    const double wr = bound.width / W;
    const double hr = bound.height / H;
    if (wr < hr) {
      target = CGSizeMake(bound.width, floorInSinglePrecision(H * wr));
    } else {
      target = CGSizeMake(floorInSinglePrecision(W * hr), bound.height);
    }
  }
  return resizedImageToSize(image, target);
}

}  // namespace tweak
