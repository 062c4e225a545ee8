// Drawing through Cairo, for maps that turn by other than quarter turns or shear:
// the module that the graphics library loads the first time it draws one
// (cairo_loader.cc). Cairo's ARGB32 is the library's own pixel layout, so both
// rasters are wrapped without a copy.
#include <cairo.h>

#include <cmath>

#include "platform/graphics/pixel_source.h"

namespace platform::graphics {
namespace {

void draw(const Raster& src, const CGAffineTransform& map, const Surface& dest,
          const ClipRect& clip) {
  const int w = dest.x1 - dest.x0;
  const int h = dest.y1 - dest.y0;
  const double det = map.a * map.d - map.b * map.c;
  if (src.bytesPerPixel != 4 || w <= 0 || h <= 0 || src.width <= 0 || src.height <= 0 ||
      clip.empty() || det == 0 || !std::isfinite(det)) {
    return;
  }
  cairo_surface_t* target =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(dest.pixels),
                                          CAIRO_FORMAT_ARGB32, w, h, int(dest.stride * 4));
  // Cairo only reads the source, but its API takes a mutable pointer.
  cairo_surface_t* image = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(src.pixels.data())),
      CAIRO_FORMAT_ARGB32, src.width, src.height, src.width * 4);
  cairo_t* cr = cairo_create(target);
  cairo_translate(cr, -dest.x0, -dest.y0);
  cairo_rectangle(cr, clip.x0, clip.y0, clip.x1 - clip.x0, clip.y1 - clip.y0);
  cairo_clip(cr);
  cairo_matrix_t m;
  cairo_matrix_init(&m, map.a, map.b, map.c, map.d, map.tx, map.ty);
  cairo_transform(cr, &m);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(target);
  cairo_surface_destroy(image);
  cairo_surface_destroy(target);
}

}  // namespace
}  // namespace platform::graphics

// The module's one entry point, looked up by name.
extern "C" __attribute__((visibility("default"))) void pxGraphicsDrawWithCairo(
    const platform::graphics::Raster* src, const platform::graphics::CGAffineTransform* map,
    const platform::graphics::Surface* dest, const platform::graphics::ClipRect* clip) {
  platform::graphics::draw(*src, *map, *dest, *clip);
}
