// Pixel sources: how an image's pixels are produced. Private to platform/graphics.
//
// Every pixel inside this library is a 32-bit word 0xAARRGGBB in native byte order
// with premultiplied colour (kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little
// on this little-endian machine), the layout Cairo calls ARGB32 and libjpeg-turbo
// writes as JCS_EXT_BGRA. Pixel space has its origin at the top-left corner of the
// top-left pixel, y down; pixel (i, j) covers [i, i+1] × [j, j+1].
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/geometry.h"

namespace platform::graphics {

// Pixels in memory. Four bytes per pixel holds pixel words; three bytes per pixel
// holds opaque B, G, R bytes (a decoded JPEG kept at three quarters the memory).
// Allocates pixel storage. Blocks of several megabytes (a decoded photo) are aligned
// to 2 MiB and their whole 2 MiB stretches marked for transparent huge pages: a
// fresh 12-megapixel bitmap then costs a handful of page faults instead of
// thousands, and a quarter turn, which steps through every row, misses the TLB
// far less. The tail keeps ordinary pages, so the resident size is what is used.
void* allocatePixels(std::size_t bytes);
void releasePixels(void* p);

template <class T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <class U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(allocatePixels(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) { releasePixels(p); }
  template <class U>
  bool operator==(const PixelAllocator<U>&) const {
    return true;
  }
};

struct Raster {
  int width = 0;
  int height = 0;
  int bytesPerPixel = 4;
  // Rows top to bottom; bytes when bytesPerPixel is 3.
  std::vector<std::uint32_t, PixelAllocator<std::uint32_t>> pixels;

  Raster() = default;
  Raster(int w, int h, std::uint32_t fill = 0)
      : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), fill) {}
  // A three-byte raster, every byte `fill`, with storage for one more byte, so that
  // every pixel can be read as four bytes.
  static Raster rgb(int w, int h, std::uint8_t fill);

  std::ptrdiff_t rowBytes() const { return std::ptrdiff_t(width) * bytesPerPixel; }
  const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(pixels.data()); }
  std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(pixels.data()); }
  // Pixel words of row y; four-byte rasters only.
  std::uint32_t* row(int y) { return pixels.data() + std::size_t(y) * std::size_t(width); }
  const std::uint32_t* row(int y) const {
    return pixels.data() + std::size_t(y) * std::size_t(width);
  }
  // Writes rows [y0, y1) as pixel words, whatever the layout.
  void copyRows(int y0, int y1, std::uint32_t* out) const;
};

// A window [x0, x1) × [y0, y1) of a destination, in the destination's pixel space;
// pixel (x, y) is at pixels[(y - y0) * stride + (x - x0)].
struct Surface {
  std::uint32_t* pixels = nullptr;
  std::ptrdiff_t stride = 0;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::uint32_t* at(int x, int y) const { return pixels + (y - y0) * stride + (x - x0); }
};

// An axis-aligned rectangle in some pixel space, with fractional edges.
struct ClipRect {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return !(x1 > x0 && y1 > y0); }
  ClipRect intersect(const ClipRect& o) const;
};

// True when `t` only scales, mirrors, turns by quarter turns and translates.
bool isAxisAligned(const CGAffineTransform& t);
// `t` with coefficients within 1e-9 of a whole number made whole and those within
// 1e-12 of zero made zero, so that a quarter turn built from sin and cos copies
// pixels exactly.
CGAffineTransform snapped(const CGAffineTransform& t);
// The bounding box of `r` mapped by `t`.
ClipRect mapRect(const ClipRect& r, const CGAffineTransform& t);

class PixelSource;

// One draw of a leaf source (one that holds or makes its own pixels: a raster, a
// JPEG) through a map that only scales, mirrors, turns by quarter turns and
// translates.
struct LeafDraw {
  const PixelSource* leaf = nullptr;
  CGAffineTransform map;  // leaf pixel space to destination space, snapped
  ClipRect clip;          // destination space
};

// The resolution, as a fraction of a source's own along each of its axes (at most
// 1), that drawing it through the axis-aligned `map` shows.
CGSize resolutionFor(const CGAffineTransform& map);
// The map from the pixels of a `rasterWidth` × `rasterHeight` raster of a
// `width` × `height` source (a reduced decode) to the destination, given the map
// from the source's own pixels.
CGAffineTransform rasterMap(const CGAffineTransform& map, int width, int height, int rasterWidth,
                            int rasterHeight);

class PixelSource {
 public:
  PixelSource(int width, int height) : width_(width), height_(height) {}
  virtual ~PixelSource() = default;
  PixelSource(const PixelSource&) = delete;
  PixelSource& operator=(const PixelSource&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  // True when every pixel has alpha 255.
  virtual bool opaque() const = 0;

  // Writes rows [y0, y1) of this source, width() pixels each, to `out`.
  virtual void readRows(int y0, int y1, std::uint32_t* out) const = 0;

  // Composites this source (source-over) into `dest`, mapped from its pixel space to
  // the destination's by `map` and restricted to `clip` (destination space). Quarter
  // turns, mirrors and scalings are resampled with a box filter when shrinking (an
  // exact copy at one pixel per pixel) and a linear filter when enlarging; any
  // other transform is drawn by Cairo.
  virtual void drawInto(const Surface& dest, const CGAffineTransform& map,
                        const ClipRect& clip) const;

  // What drawInto(dest, map, clip) comes down to when it is one axis-aligned draw of
  // a leaf source; nothing when it is drawn otherwise (through Cairo, or from a
  // canvas drawn on more than once).
  virtual std::optional<LeafDraw> leafDraw(const CGAffineTransform& map,
                                           const ClipRect& clip) const;
  // What readRows() comes down to, as one draw of a leaf onto transparent pixels
  // the size of this source (for an opaque drawing, black pixels: the colour is the
  // same); nothing when it is not one such draw.
  virtual std::optional<LeafDraw> rowsAsLeafDraw() const;

 protected:
  // A raster of this source whose resolution is at least `sx` × `sy` of the source's
  // own (each at most 1). The default renders the whole source at full resolution.
  virtual std::shared_ptr<const Raster> rasterForScale(double sx, double sy) const;

 private:
  int width_;
  int height_;
};

// Pixels held in memory.
class RasterSource final : public PixelSource {
 public:
  RasterSource(std::shared_ptr<const Raster> raster, bool opaque);
  bool opaque() const override { return opaque_; }
  void readRows(int y0, int y1, std::uint32_t* out) const override;

 protected:
  std::shared_ptr<const Raster> rasterForScale(double, double) const override { return raster_; }

 private:
  std::shared_ptr<const Raster> raster_;
  bool opaque_;
};

// A canvas of width × height on which `inner` was drawn with `map` onto transparent
// pixels (or, for an opaque canvas, onto black), kept as that drawing. Drawing it
// again composes the two maps, so the pixels are resampled once from the original.
class DrawnSource final : public PixelSource {
 public:
  DrawnSource(int width, int height, bool opaque, std::shared_ptr<const PixelSource> inner,
              const CGAffineTransform& map);
  bool opaque() const override { return opaque_; }
  void readRows(int y0, int y1, std::uint32_t* out) const override;
  void drawInto(const Surface& dest, const CGAffineTransform& map,
                const ClipRect& clip) const override;
  std::optional<LeafDraw> leafDraw(const CGAffineTransform& map,
                                   const ClipRect& clip) const override;
  std::optional<LeafDraw> rowsAsLeafDraw() const override;

 private:
  // True when drawing this canvas through `outer` is drawing the inner source once
  // with the two maps composed.
  bool composable(const CGAffineTransform& outer) const;

  bool opaque_;
  std::shared_ptr<const PixelSource> inner_;  // null for an empty canvas
  CGAffineTransform map_;
};

// Draws `src` into `dest` through Cairo for any invertible `map`.
void drawWithCairo(const Raster& src, const CGAffineTransform& map, const Surface& dest,
                   const ClipRect& clip);

// Sets alpha to 255 in rows [y0, y1) of a window, blending colour over black.
void makeOpaque(const Surface& dest);

}  // namespace platform::graphics
