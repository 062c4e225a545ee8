#include "platform/graphics/cg_context.h"

#include <cmath>

#include "platform/graphics/pending_drawings.h"
#include "platform/graphics/pixel_source.h"

namespace platform::graphics {

struct CGContext::PendingDraw {
  std::shared_ptr<const PixelSource> source;
  CGAffineTransform map;  // source pixels to this canvas's pixels, y down
};

CGContext::CGContext(int width, int height, CGImageFormat format,
                     const CGAffineTransform& initialCTM)
    : width_(width), height_(height), format_(std::move(format)), ctm_(initialCTM) {}

CGContext::~CGContext() = default;

void CGContext::drawImage(const CGRect& rect, const CGImageRef& image) {
  if (!image || rect.size.width == 0 || rect.size.height == 0) return;
  const auto& source = image->source();
  noteDrawnOnCanvas(*source);
  // Image pixels (y down) to user space: the top row along the rectangle's largest y.
  const CGAffineTransform imageToUser = CGAffineTransformMake(
      rect.size.width / source->width(), 0, 0, -rect.size.height / source->height(), rect.origin.x,
      rect.origin.y + rect.size.height);
  // The platform's device space has y up; this library's pixel rows run top down.
  const CGAffineTransform deviceToPixels = CGAffineTransformMake(1, 0, 0, -1, 0, height_);
  const CGAffineTransform map =
      CGAffineTransformConcat(CGAffineTransformConcat(imageToUser, ctm_), deviceToPixels);
  const double det = map.a * map.d - map.b * map.c;
  if (det == 0 || !std::isfinite(det) || !std::isfinite(map.tx) || !std::isfinite(map.ty)) {
    return;
  }
  if (!raster_ && !pending_) {
    pending_ = std::make_unique<PendingDraw>(PendingDraw{source, map});
    return;
  }
  materialise();
  const Surface all{raster_->pixels.data(), width_, 0, 0, width_, height_};
  source->drawInto(all, map, ClipRect{0, 0, double(width_), double(height_)});
  if (format_.isOpaque()) makeOpaque(all);
}

void CGContext::materialise() {
  if (raster_) {
    // An image taken earlier shares the pixels; it must not see later drawing.
    if (raster_.use_count() > 1) raster_ = std::make_shared<Raster>(*raster_);
    return;
  }
  raster_ = std::make_shared<Raster>(width_, height_, format_.isOpaque() ? 0xFF000000u : 0u);
  if (pending_) {
    const Surface all{raster_->pixels.data(), width_, 0, 0, width_, height_};
    pending_->source->drawInto(all, pending_->map, ClipRect{0, 0, double(width_), double(height_)});
    if (format_.isOpaque()) makeOpaque(all);
    pending_.reset();
  }
}

CGImageRef CGContext::makeImage() {
  const bool opaque = format_.isOpaque();
  if (raster_) {
    return std::make_shared<CGImage>(format_, std::make_shared<RasterSource>(raster_, opaque));
  }
  std::shared_ptr<const PixelSource> inner = pending_ ? pending_->source : nullptr;
  const CGAffineTransform map = pending_ ? pending_->map : CGAffineTransformIdentity;
  auto drawing = std::make_shared<DrawnSource>(width_, height_, opaque, std::move(inner), map);
  noteNewDrawing(drawing);
  return std::make_shared<CGImage>(format_, std::move(drawing));
}

CGContextRef CGBitmapContextCreate(std::size_t width, std::size_t height,
                                   std::size_t bitsPerComponent, std::size_t bytesPerRow,
                                   const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo) {
  if (width == 0 || height == 0 || !space) return nullptr;
  if (!withinPixelLimit(width, height)) return nullptr;
  if (bytesPerRow != 0 && bytesPerRow < width * 4) return nullptr;
  const CGImageFormat format{bitsPerComponent, 32, space, bitmapInfo};
  const auto alpha = format.alphaInfo();
  const bool acceptedAlpha =
      alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaPremultipliedLast ||
      alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast;
  if (space->model != CGColorSpaceModel::kCGColorSpaceModelRGB || !acceptedAlpha ||
      !format.isSupportedImageLayout()) {
    return nullptr;
  }
  return std::make_shared<CGContext>(int(width), int(height), format, CGAffineTransformIdentity);
}

void CGContextConcatCTM(const CGContextRef& c, const CGAffineTransform& t) {
  if (c) c->setCTM(CGAffineTransformConcat(t, c->ctm()));
}

void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy) {
  CGContextConcatCTM(c, CGAffineTransformMakeScale(sx, sy));
}

void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty) {
  CGContextConcatCTM(c, CGAffineTransformMakeTranslation(tx, ty));
}

void CGContextRotateCTM(const CGContextRef& c, CGFloat angle) {
  CGContextConcatCTM(c, CGAffineTransformMakeRotation(angle));
}

CGAffineTransform CGContextGetCTM(const CGContextRef& c) {
  return c ? c->ctm() : CGAffineTransformIdentity;
}

void CGContextDrawImage(const CGContextRef& c, const CGRect& rect, const CGImageRef& image) {
  if (c) c->drawImage(rect, image);
}

CGImageRef CGBitmapContextCreateImage(const CGContextRef& c) {
  return c ? c->makeImage() : nullptr;
}

std::size_t CGBitmapContextGetWidth(const CGContextRef& c) { return c ? c->width() : 0; }
std::size_t CGBitmapContextGetHeight(const CGContextRef& c) { return c ? c->height() : 0; }

}  // namespace platform::graphics
