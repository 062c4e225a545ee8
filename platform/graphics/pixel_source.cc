#include "platform/graphics/pixel_source.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "platform/graphics/resampler.h"

namespace platform::graphics {

ClipRect ClipRect::intersect(const ClipRect& o) const {
  return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
}

void* allocatePixels(std::size_t bytes) {
  constexpr std::size_t kHuge = std::size_t(2) << 20;
  if (bytes < 2 * kHuge) {
    void* p = std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
  }
  void* p = std::aligned_alloc(kHuge, (bytes + kHuge - 1) / kHuge * kHuge);
  if (!p) throw std::bad_alloc();
  // Advice only: without huge pages the memory works the same.
  madvise(p, bytes / kHuge * kHuge, MADV_HUGEPAGE);
  return p;
}

void releasePixels(void* p) { std::free(p); }

Raster Raster::rgb(int w, int h, std::uint8_t fill) {
  Raster r;
  r.width = w;
  r.height = h;
  r.bytesPerPixel = 3;
  // One word more than the bytes need: a pixel may be read as four bytes.
  const std::size_t bytes = std::size_t(w) * std::size_t(h) * 3;
  r.pixels.assign(bytes / 4 + 1, fill * 0x01010101u);
  return r;
}

void Raster::copyRows(int y0, int y1, std::uint32_t* out) const {
  if (bytesPerPixel == 4) {
    std::copy(row(y0), row(y1), out);
    return;
  }
  const std::uint8_t* p = bytes() + std::ptrdiff_t(y0) * rowBytes();
  const std::size_t n = std::size_t(width) * std::size_t(y1 - y0);
  for (std::size_t i = 0; i < n; ++i, p += 3) {
    out[i] = 0xFF000000u | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
  }
}

bool isAxisAligned(const CGAffineTransform& t) {
  return (t.b == 0 && t.c == 0 && t.a != 0 && t.d != 0) ||
         (t.a == 0 && t.d == 0 && t.b != 0 && t.c != 0);
}

namespace {

double snapValue(double v) {
  if (std::fabs(v) < 1e-12) return 0;
  const double r = std::nearbyint(v);
  if (std::fabs(v - r) < 1e-9) return r;
  return v;
}

// True when the bounding box `outer` covers `inner` up to rounding noise.
bool covers(const ClipRect& outer, const ClipRect& inner) {
  const double e = 1e-6;
  return outer.x0 <= inner.x0 + e && outer.y0 <= inner.y0 + e && outer.x1 >= inner.x1 - e &&
         outer.y1 >= inner.y1 - e;
}

}  // namespace

CGAffineTransform snapped(const CGAffineTransform& t) {
  return {snapValue(t.a), snapValue(t.b),  snapValue(t.c),
          snapValue(t.d), snapValue(t.tx), snapValue(t.ty)};
}

ClipRect mapRect(const ClipRect& r, const CGAffineTransform& t) {
  const CGPoint corners[4] = {
      CGPointApplyAffineTransform({r.x0, r.y0}, t), CGPointApplyAffineTransform({r.x1, r.y0}, t),
      CGPointApplyAffineTransform({r.x0, r.y1}, t), CGPointApplyAffineTransform({r.x1, r.y1}, t)};
  ClipRect out{corners[0].x, corners[0].y, corners[0].x, corners[0].y};
  for (const CGPoint& p : corners) {
    out.x0 = std::min(out.x0, p.x);
    out.y0 = std::min(out.y0, p.y);
    out.x1 = std::max(out.x1, p.x);
    out.y1 = std::max(out.y1, p.y);
  }
  return out;
}

CGSize resolutionFor(const CGAffineTransform& m) {
  return {std::min(1.0, std::hypot(m.a, m.b)), std::min(1.0, std::hypot(m.c, m.d))};
}

CGAffineTransform rasterMap(const CGAffineTransform& map, int width, int height, int rasterWidth,
                            int rasterHeight) {
  const CGAffineTransform toSource =
      CGAffineTransformMakeScale(double(width) / rasterWidth, double(height) / rasterHeight);
  return snapped(CGAffineTransformConcat(toSource, map));
}

void PixelSource::drawInto(const Surface& dest, const CGAffineTransform& map,
                           const ClipRect& clip) const {
  const CGAffineTransform m = snapped(map);
  if (isAxisAligned(m)) {
    // Ask for no more resolution than the destination shows, so that a JPEG can be
    // decoded at 1/2, 1/4 or 1/8 of its size when that is enough.
    const CGSize resolution = resolutionFor(m);
    const auto raster = rasterForScale(resolution.width, resolution.height);
    if (!raster || raster->width == 0 || raster->height == 0) return;
    resampleAxisAligned(*raster, rasterMap(m, width(), height(), raster->width, raster->height),
                        dest, clip);
    return;
  }
  auto raster = rasterForScale(1, 1);
  if (!raster || raster->width == 0 || raster->height == 0) return;
  if (raster->bytesPerPixel != 4) {
    auto words = std::make_shared<Raster>(raster->width, raster->height);
    raster->copyRows(0, raster->height, words->pixels.data());
    raster = std::move(words);
  }
  const CGAffineTransform toSource = CGAffineTransformMakeScale(double(width()) / raster->width,
                                                                double(height()) / raster->height);
  drawWithCairo(*raster, CGAffineTransformConcat(toSource, map), dest, clip);
}

std::optional<LeafDraw> PixelSource::leafDraw(const CGAffineTransform& map,
                                              const ClipRect& clip) const {
  const CGAffineTransform m = snapped(map);
  if (!isAxisAligned(m)) return std::nullopt;
  return LeafDraw{this, m, clip};
}

std::optional<LeafDraw> PixelSource::rowsAsLeafDraw() const {
  return leafDraw(CGAffineTransformIdentity, {0, 0, double(width()), double(height())});
}

std::shared_ptr<const Raster> PixelSource::rasterForScale(double, double) const {
  auto raster = std::make_shared<Raster>(width(), height());
  readRows(0, height(), raster->pixels.data());
  return raster;
}

RasterSource::RasterSource(std::shared_ptr<const Raster> raster, bool opaque)
    : PixelSource(raster->width, raster->height), raster_(std::move(raster)), opaque_(opaque) {}

void RasterSource::readRows(int y0, int y1, std::uint32_t* out) const {
  raster_->copyRows(y0, y1, out);
}

DrawnSource::DrawnSource(int width, int height, bool opaque,
                         std::shared_ptr<const PixelSource> inner, const CGAffineTransform& map)
    : PixelSource(width, height), opaque_(opaque), inner_(std::move(inner)), map_(snapped(map)) {}

void DrawnSource::readRows(int y0, int y1, std::uint32_t* out) const {
  std::fill(out, out + std::size_t(width()) * std::size_t(y1 - y0), 0u);
  const Surface band{out, width(), 0, y0, width(), y1};
  if (inner_) inner_->drawInto(band, map_, ClipRect{0, 0, double(width()), double(height())});
  if (opaque_) makeOpaque(band);
}

bool DrawnSource::composable(const CGAffineTransform& outer) const {
  // Drawing this drawing is drawing the inner source once with the two maps composed,
  // clipped to this canvas. That holds unless the canvas is opaque and some of its
  // pixels are not fully covered by an opaque picture (they would show black).
  const ClipRect canvas{0, 0, double(width()), double(height())};
  return inner_ && isAxisAligned(outer) && isAxisAligned(map_) &&
         (!opaque_ ||
          (inner_->opaque() &&
           covers(mapRect({0, 0, double(inner_->width()), double(inner_->height())}, map_),
                  canvas)));
}

void DrawnSource::drawInto(const Surface& dest, const CGAffineTransform& map,
                           const ClipRect& clip) const {
  const ClipRect canvas{0, 0, double(width()), double(height())};
  const CGAffineTransform outer = snapped(map);
  if (composable(outer)) {
    inner_->drawInto(dest, CGAffineTransformConcat(map_, outer),
                     clip.intersect(mapRect(canvas, outer)));
    return;
  }
  if (!inner_ && !opaque_) return;  // an empty transparent canvas draws nothing
  PixelSource::drawInto(dest, map, clip);
}

std::optional<LeafDraw> DrawnSource::leafDraw(const CGAffineTransform& map,
                                              const ClipRect& clip) const {
  const CGAffineTransform outer = snapped(map);
  if (!composable(outer)) return std::nullopt;
  const ClipRect canvas{0, 0, double(width()), double(height())};
  return inner_->leafDraw(CGAffineTransformConcat(map_, outer),
                          clip.intersect(mapRect(canvas, outer)));
}

std::optional<LeafDraw> DrawnSource::rowsAsLeafDraw() const {
  // readRows(): the inner source drawn with this canvas's map onto cleared pixels.
  if (!inner_) return std::nullopt;
  return inner_->leafDraw(map_, {0, 0, double(width()), double(height())});
}

void makeOpaque(const Surface& dest) {
  for (int y = dest.y0; y < dest.y1; ++y) {
    std::uint32_t* p = dest.at(dest.x0, y);
    for (int x = dest.x0; x < dest.x1; ++x, ++p) *p |= 0xFF000000u;
  }
}

}  // namespace platform::graphics
