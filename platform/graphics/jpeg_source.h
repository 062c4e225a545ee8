// A JPEG image whose pixels are decoded when they are first needed, at the reduced
// scale a drawing asks for, and the row-by-row decoder behind it. Private to
// platform/graphics.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/graphics/jpeg_input.h"
#include "platform/graphics/pending_drawings.h"
#include "platform/graphics/pixel_source.h"

namespace platform::graphics {

// Receives a decode's rows, three bytes a pixel (B, G, R), top to bottom.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // The decoded size, once the decoder knows it; false stops the decode.
  virtual bool begin(int width, int height) = 0;
  // Where the decoder is to write row y. Asked in order of y, before the row is
  // decoded; the memory holds at least one byte more than the row.
  virtual std::uint8_t* row(int y) = 0;
  // Rows [0, rows) are decoded.
  virtual void decoded(int rows) = 0;
};

class JpegSource final : public PixelSource {
 public:
  JpegSource(JpegInput input, int width, int height, bool cmyk);

  bool opaque() const override { return true; }
  void readRows(int y0, int y1, std::uint32_t* out) const override;

  // The numerator n of the scale n/8 at which this JPEG is decoded for a drawing that
  // shows `resolution` of it (see resolutionFor).
  int numeratorFor(CGSize resolution) const;
  // The decoded width and height at scale num/8.
  int scaledWidth(int num) const;
  int scaledHeight(int num) const;
  // Decodes at scale num/8 into `sink`. Answers the rows decoded: all of them, fewer
  // for damaged data (the rest are not written), 0 when the decode did not begin.
  int decode(int num, RowSink& sink) const;

  // The drawings of this JPEG that wait to be encoded.
  PendingDrawings& pendingDrawings() const { return pending_; }

 protected:
  // Decodes once, at the scale asked for, and keeps the result.
  std::shared_ptr<const Raster> rasterForScale(double sx, double sy) const override;

 private:
  JpegInput input_;
  bool cmyk_;
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const Raster> decoded_;
  mutable int decodedNum_ = 0;
  mutable PendingDrawings pending_;
};

// The grey of rows a damaged JPEG does not deliver.
inline constexpr std::uint8_t kMissingRowGrey = 0x80;

}  // namespace platform::graphics
