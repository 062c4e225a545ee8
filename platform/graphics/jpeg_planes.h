// A picture held the way the JPEG encoder takes it: luma at full size and chroma
// over 2 × 2 blocks (4:2:0). Private to platform/graphics.
//
// The encoder's own path converts B, G, R rows to Y, Cb, Cr and averages chroma
// over each 2 × 2 block; a picture held as B, G, R until then takes three bytes a
// pixel. These planes take two (a byte of luma, and per block two 16-bit sums of
// chroma) and give the encoder, row by row, exactly the samples its own path would
// have made from the same pixels, with its edge rules: so the JPEG's bytes are the
// same, and the photo path's outputs take a third less memory.
//
// The planes start black. Each pixel is drawn at most once, in any order, as a
// premultiplied pixel word (alpha is dropped, as the encoder drops it). Luma is
// laid out by rows, as the encoder reads it; the chroma sums along the lines they
// are drawn in (column by column when the lines are columns, a photo being
// turned), so that adding a line's pixels to them reads and writes one run of
// memory, not a block on every row's cache line.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics/pixel_source.h"
#include "platform/graphics/resampler.h"
#include "platform/graphics/zeroed_array.h"

namespace platform::graphics {

class JpegPlanes final : public LineSink {
 public:
  // Black planes for a width × height picture; `linesAreColumns` says how the
  // lines given to line() run.
  JpegPlanes(int width, int height, bool linesAreColumns);

  int width() const { return width_; }
  int height() const { return height_; }

  // LineSink: draws one line of pixels.
  void line(int fixed, int first, const std::uint32_t* words, int count) override;

  // The samples the encoder reads for the iMCU row `m` (16 rows of luma, 8 of
  // chroma), padded as the encoder pads them: luma to a multiple of 8 columns and
  // chroma to a multiple of 8 columns of the half width, by the encoder's edge
  // rules, and both down to the iMCU row's end. `y` holds 16 rows of lumaStride()
  // bytes, `cb` and `cr` 8 rows of chromaStride() bytes.
  void imcuRow(int m, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr) const;
  int lumaStride() const { return (width_ + 7) / 8 * 8; }
  int chromaStride() const { return (width_ + 15) / 16 * 8; }
  int imcuRows() const { return (height_ + 15) / 16; }

 private:
  // Rows [8m, 8m + 8) of one chroma plane as the encoder makes them.
  void chromaRows(const std::uint16_t* sums, const std::vector<std::uint8_t>& edge, int m,
                  std::uint8_t* out) const;

  int width_;
  int height_;
  bool columns_;
  int halfWidth_;   // chroma blocks across: ceil(width / 2)
  int halfHeight_;  // and down: ceil(height / 2)
  // Zeroed: a picture's megabytes are faulted in by the drawing, not before it.
  ZeroedArray<std::uint8_t> luma_;  // width × height, by rows
  // Per block, the sum of its four Cb samples less black's (modulo 2^16, so that
  // zero is a black block).
  ZeroedArray<std::uint16_t> cb_;
  ZeroedArray<std::uint16_t> cr_;
  std::vector<std::uint8_t> edgeCb_;  // Cb and Cr of the last column, per row
  std::vector<std::uint8_t> edgeCr_;
};

}  // namespace platform::graphics
