// CGContext: a drawing canvas with a current transformation matrix (CTM).
//
// Two kinds of canvas share this type:
// - the bitmap canvas (CGBitmapContextCreate): origin at the bottom-left corner, y
//   up, one unit per pixel, CTM starting as the identity;
// - the image canvas (ui_graphics.h): origin at the top-left corner, y down, in points
//   at a scale factor; its CTM starts as the flip (s, 0, 0, −s, 0, pixel height), as
//   on the platform.
// Drawing a bitmap into a rectangle puts the bitmap's top row along the rectangle's
// edge of largest y and its first column along the edge of smallest x (user space).
//
// A canvas is used by one thread at a time. Every function accepts a null canvas and
// then does nothing (or answers the identity, zero or nullptr), as the platform's
// functions do with NULL, so that a caller whose canvas could not be made needs no
// checks of its own.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "platform/graphics/cg_image.h"
#include "platform/graphics/geometry.h"

namespace platform::graphics {

struct Raster;

class CGContext;
using CGContextRef = std::shared_ptr<CGContext>;

class CGContext {
 public:
  // For this library: a canvas of width × height pixels in `format` whose CTM starts
  // as `initialCTM` (user space to the platform's y-up device space).
  CGContext(int width, int height, CGImageFormat format, const CGAffineTransform& initialCTM);
  ~CGContext();
  CGContext(const CGContext&) = delete;
  CGContext& operator=(const CGContext&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  const CGImageFormat& format() const { return format_; }
  const CGAffineTransform& ctm() const { return ctm_; }
  void setCTM(const CGAffineTransform& ctm) { ctm_ = ctm; }

  // Draws `image` into `rect` (user space) through the CTM, source-over.
  void drawImage(const CGRect& rect, const CGImageRef& image);
  // A bitmap of the current contents; later drawing does not change it.
  CGImageRef makeImage();

 private:
  struct PendingDraw;
  void materialise();

  int width_;
  int height_;
  CGImageFormat format_;
  CGAffineTransform ctm_;
  // The first drawing onto a fresh canvas is kept as a drawing; a second one, or a
  // drawing that cannot be kept that way, renders into `raster_`.
  std::unique_ptr<PendingDraw> pending_;
  std::shared_ptr<Raster> raster_;
};

// CGBitmapContextCreate with memory managed by the canvas (the platform's NULL data
// argument). `bytesPerRow` 0 lets the canvas choose; otherwise it must hold a row.
// The canvas accepts 8 bits per component, an RGB colour space and 32-bit pixels with
// alpha premultiplied first or last or skipped first or last, in the default, 32Big
// or 32Little byte order. Answers nullptr for any other format, a width or height of
// 0, or more than kMaxImagePixels pixels. The canvas starts transparent (black for the
// skipped-alpha formats).
CGContextRef CGBitmapContextCreate(std::size_t width, std::size_t height,
                                   std::size_t bitsPerComponent, std::size_t bytesPerRow,
                                   const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo);

// CTM' = t then CTM (the new transform is applied to user points first).
void CGContextConcatCTM(const CGContextRef& c, const CGAffineTransform& t);
void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy);
void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty);
void CGContextRotateCTM(const CGContextRef& c, CGFloat angle);
CGAffineTransform CGContextGetCTM(const CGContextRef& c);

void CGContextDrawImage(const CGContextRef& c, const CGRect& rect, const CGImageRef& image);

// A bitmap of the canvas contents in the canvas's format; nullptr for a null canvas.
CGImageRef CGBitmapContextCreateImage(const CGContextRef& c);
std::size_t CGBitmapContextGetWidth(const CGContextRef& c);
std::size_t CGBitmapContextGetHeight(const CGContextRef& c);

}  // namespace platform::graphics
