#include "platform/graphics/ui_graphics.h"

#include <cmath>
#include <vector>

#include "platform/graphics/pixel_format.h"

namespace platform::graphics {
namespace {

struct OpenCanvas {
  CGContextRef context;
  CGFloat scale;
};

std::vector<OpenCanvas>& canvasStack() {
  thread_local std::vector<OpenCanvas> stack;
  return stack;
}

// Whole pixels for a length in points; a length a hair over a whole number (rounding
// noise of a product) does not add a pixel.
double pixelsFor(CGFloat points, CGFloat scale) { return std::ceil(points * scale - 1e-9); }

}  // namespace

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale) {
  if (!(scale > 0)) scale = 1;
  const double w = pixelsFor(size.width, scale);
  const double h = pixelsFor(size.height, scale);
  if (!(w >= 1 && h >= 1) || w * h > double(kMaxImagePixels)) return;
  // The platform's image canvas: device space y up in pixels, user space y down in
  // points, so the CTM starts as a flip scaled by the scale factor.
  auto context = std::make_shared<CGContext>(int(w), int(h), nativeFormat(opaque),
                                             CGAffineTransformMake(scale, 0, 0, -scale, 0, h));
  canvasStack().push_back({std::move(context), scale});
}

CGContextRef UIGraphicsGetCurrentContext() {
  auto& stack = canvasStack();
  return stack.empty() ? nullptr : stack.back().context;
}

std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext() {
  auto& stack = canvasStack();
  if (stack.empty()) return nullptr;
  return UIImage::imageWithCGImage(stack.back().context->makeImage(), stack.back().scale,
                                   UIImageOrientationUp);
}

void UIGraphicsEndImageContext() {
  auto& stack = canvasStack();
  if (!stack.empty()) stack.pop_back();
}

}  // namespace platform::graphics
