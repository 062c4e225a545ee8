// The resampler for maps that only scale, mirror, turn by quarter turns and
// translate, as a plan made once and run over the source's rows as they become
// available. Private to platform/graphics.
//
// Such a map sends each destination pixel back to an axis-aligned rectangle of the
// source, so the filter is separable: one list of weights per destination column and
// one per destination row, each over one source axis. A shrinking axis averages the
// source pixels under the rectangle, weighted by area (a box filter: no aliasing, and
// an exact copy when the rectangle is exactly one source pixel); an enlarging axis
// interpolates linearly between the two nearest source pixels. Parts of the rectangle
// outside the source or the clip count as transparent, which gives edges their
// partial coverage.
//
// Every destination line (a row, or for a quarter turn a column) reads a short run
// of consecutive source rows. The plan draws the lines in the order of the rows they
// read, so the source can arrive row by row (a JPEG being decoded) and rows no line
// needs any more can be dropped. A line's pixels come out the same whether the
// source arrives whole or in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/graphics/pixel_source.h"

namespace platform::graphics {

// Where source row y is: rows of three bytes a pixel (B, G, R, with at least one
// readable byte after the last pixel of every row) or four (pixel words). With
// `ringRows` > 0 the rows live in a ring of that many slots, row y in slot
// y % ringRows.
struct SourceRows {
  const std::uint8_t* base = nullptr;
  std::ptrdiff_t rowBytes = 0;
  int bytesPerPixel = 4;
  int ringRows = 0;

  const std::uint8_t* row(int y) const {
    return base + std::ptrdiff_t(ringRows > 0 ? y % ringRows : y) * rowBytes;
  }
};

// Receives the lines a plan draws. A line is a destination row or, when the plan
// turns by a quarter turn (AxisResampler::linesAreColumns), a destination column.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // Line `fixed` (the row's y or the column's x), pixels `first` to first + count - 1
  // along it, as premultiplied pixel words; a pixel that sees no source is 0, which
  // draws nothing.
  virtual void line(int fixed, int first, const std::uint32_t* words, int count) = 0;
};

class AxisResampler {
 public:
  // A plan for drawing a source of `width` × `height` pixels through `map` (source
  // pixel space to destination pixel space; snapped and axis-aligned, else the plan
  // draws nothing), restricted to `clip` and to the window `dest` (destination space).
  AxisResampler(int width, int height, const CGAffineTransform& map, const ClipRect& clip,
                const ClipRect& window);
  ~AxisResampler();
  AxisResampler(AxisResampler&&) noexcept;
  AxisResampler(const AxisResampler&) = delete;
  AxisResampler& operator=(const AxisResampler&) = delete;

  // True when the drawing touches no destination pixel.
  bool empty() const { return order_.empty(); }
  // True when the lines are destination columns (the map turns by a quarter turn).
  bool linesAreColumns() const { return swap_; }
  // The most source rows one destination line reads.
  int maxRowsPerLine() const { return maxRowsPerLine_; }

  // Draws every line not drawn yet whose source rows all lie below `available`, in
  // the order of their rows. Answers the lowest source row that a line still to be
  // drawn reads: rows below it are not read again. Answers the source height when
  // every line is drawn.
  int run(const SourceRows& source, int available, LineSink& dest);

  struct Taps {
    int first = 0;   // first source index along the axis
    int count = 0;   // 0 for a destination pixel that sees nothing
    int offset = 0;  // into Weights::weights
  };
  struct Weights {
    std::vector<Taps> taps;
    std::vector<float> weights;
    int lo = 0, hi = 0;  // source indices [lo, hi) that any tap reads
  };

 private:
  int height_ = 0;
  bool swap_ = false;       // destination x runs along source y
  Weights rows_;            // per destination line, over source rows
  Weights columns_;         // per pixel of a line, over source columns
  int line0_ = 0;           // destination index of rows_.taps[0]
  int pixel0_ = 0;          // destination index of columns_.taps[0]
  std::vector<int> order_;  // lines with taps, by their first source row
  std::size_t next_ = 0;    // into order_
  int maxRowsPerLine_ = 0;
  struct Scratch;
  std::unique_ptr<Scratch> scratch_;  // null for an empty plan
};

// Resamples `src` into `dest` for an axis-aligned `map` (see PixelSource::drawInto).
void resampleAxisAligned(const Raster& src, const CGAffineTransform& map, const Surface& dest,
                         const ClipRect& clip);

}  // namespace platform::graphics
