// The image canvas (UIGraphicsBeginImageContextWithOptions and its companions).
//
// An image canvas has its origin at the top-left corner, y down, in points; it holds
// ceil(points × scale) pixels in each direction. Opening one makes it the calling
// thread's current canvas until it is closed; canvases nest per thread, and other
// threads never see them.
#pragma once

#include <memory>

#include "platform/graphics/cg_context.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics {

// Opens an image canvas of `size` points at `scale` pixels per point (0 or below
// means 1, the stand-in screen's scale) and makes it current. A transparent canvas
// (opaque false) starts fully transparent; an opaque one starts black. When the size
// gives no whole pixel in either direction or more than kMaxImagePixels pixels, no
// canvas is opened and the current canvas stays what it was.
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);

// The calling thread's current canvas, or nullptr.
CGContextRef UIGraphicsGetCurrentContext();

// The current image canvas's contents as an up-oriented image at the canvas's scale;
// nullptr when no image canvas is current.
std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext();

// Closes the current image canvas; does nothing when none is open.
void UIGraphicsEndImageContext();

}  // namespace platform::graphics
