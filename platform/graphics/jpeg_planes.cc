#include "platform/graphics/jpeg_planes.h"

#include <algorithm>
#include <cstring>

namespace platform::graphics {
namespace {

// libjpeg's RGB to YCbCr conversion (jccolor.c), in its fixed point: 16 fraction
// bits, each coefficient FIX(x) = x · 65536 rounded. Its SIMD code gives the same
// results, so these are the samples the encoder makes itself.
constexpr std::int32_t kHalf = 1 << 15;
constexpr std::int32_t kChromaOffset = (128 << 16) + kHalf - 1;

// How far ahead of the columns it turns chromaRows asks for their memory.
constexpr int kPrefetchColumns = 32;

// Black: luma 0, chroma 128; a block's sum is four samples.
constexpr std::int32_t kBlackChroma = 128;
constexpr std::uint16_t kBlackBlock = 4 * kBlackChroma;

// A pixel word's samples: luma, and chroma as its difference from black's.
struct Samples {
  std::int32_t y, cb, cr;
};

inline Samples samplesOf(std::uint32_t word) {
  const std::int32_t r = (word >> 16) & 0xFF, g = (word >> 8) & 0xFF, b = word & 0xFF;
  return {(19595 * r + 38470 * g + 7471 * b + kHalf) >> 16,
          ((-11059 * r - 21709 * g + 32768 * b + kChromaOffset) >> 16) - kBlackChroma,
          ((32768 * r - 27439 * g - 5329 * b + kChromaOffset) >> 16) - kBlackChroma};
}

typedef float v4f __attribute__((vector_size(16)));
typedef std::int32_t v4i __attribute__((vector_size(16)));

// The samples of four pixel words at once, the same as samplesOf's. Single
// precision is exact here: every product and partial sum of the fixed-point
// formulas is a whole number of magnitude below 2^24, and the final division by
// 2^16 and truncation toward zero of a non-negative number is the shift.
struct Samples4 {
  v4i y, cb, cr;
};

inline Samples4 samplesOf4(const std::uint32_t* words) {
  v4i word;
  std::memcpy(&word, words, sizeof word);
  const v4f r = __builtin_convertvector((word >> 16) & 0xFF, v4f);
  const v4f g = __builtin_convertvector((word >> 8) & 0xFF, v4f);
  const v4f b = __builtin_convertvector(word & 0xFF, v4f);
  const v4f scale = {1.0f / 65536, 1.0f / 65536, 1.0f / 65536, 1.0f / 65536};
  const float half = kHalf, offset = kChromaOffset;
  const v4f y = (19595.0f * r + 38470.0f * g + 7471.0f * b + half) * scale;
  const v4f cb = (-11059.0f * r - 21709.0f * g + 32768.0f * b + offset) * scale;
  const v4f cr = (32768.0f * r - 27439.0f * g - 5329.0f * b + offset) * scale;
  return {__builtin_convertvector(y, v4i), __builtin_convertvector(cb, v4i) - kBlackChroma,
          __builtin_convertvector(cr, v4i) - kBlackChroma};
}

// A line's run of the planes: luma advances by `step` per pixel, the block sums by
// one block per two pixels along the line.
struct Run {
  std::uint8_t* luma;
  std::ptrdiff_t step;
  std::uint16_t* cb;
  std::uint16_t* cr;
  int last;    // the index of the picture's last pixel along the line
  bool odd;    // the picture's extent along the line is odd: its last pixel repeats
  int across;  // 2 when the line is the picture's last line and that extent is odd
  // Where the chroma of the picture's last column goes: per pixel of a line that is
  // that column (`edgeIsLine`), else for the line's pixel at `last` (a row), else
  // nowhere (null).
  std::uint8_t* edgeCb;
  std::uint8_t* edgeCr;
  bool edgeIsLine;
};

// Draws pixels [first, first + count) of one line into its run (see
// JpegPlanes::line for the rules). A block's pixels are added to it together.
void drawRun(const Run& run, int first, const std::uint32_t* words, int count) {
  // Locals the compiler can keep in registers: stores through the planes' byte
  // pointers could otherwise alias `run`.
  std::uint8_t* __restrict__ luma = run.luma;
  std::uint16_t* __restrict__ blue = run.cb;
  std::uint16_t* __restrict__ red = run.cr;
  const std::ptrdiff_t step = run.step;
  const int across = run.across;
  const auto add = [&](int k, std::int32_t cb, std::int32_t cr) {
    blue[k / 2] = std::uint16_t(blue[k / 2] + cb * across);
    red[k / 2] = std::uint16_t(red[k / 2] + cr * across);
  };
  const auto one = [&](int i) {
    const Samples s = samplesOf(words[i]);
    luma[(first + i) * step] = std::uint8_t(s.y);
    add(first + i, s.cb, s.cr);
  };
  int i = 0;
  if (count > 0 && (first & 1)) one(i++);
  for (; i + 3 < count; i += 4) {
    const Samples4 s = samplesOf4(words + i);
    const int k = first + i;
    for (int n = 0; n < 4; ++n) luma[(k + n) * step] = std::uint8_t(s.y[n]);
    add(k, s.cb[0] + s.cb[1], s.cr[0] + s.cr[1]);
    add(k + 2, s.cb[2] + s.cb[3], s.cr[2] + s.cr[3]);
  }
  for (; i < count; ++i) one(i);
  const int last = run.last - first;
  if (last < 0 || last >= count) return;
  const Samples edge = samplesOf(words[last]);
  // The last pixel of an odd extent counts once more, for the pixel repeated after it.
  if (run.odd) add(run.last, edge.cb, edge.cr);
  if (run.edgeCb && !run.edgeIsLine) {
    *run.edgeCb = std::uint8_t(edge.cb + kBlackChroma);
    *run.edgeCr = std::uint8_t(edge.cr + kBlackChroma);
  }
}

// The chroma of every pixel of a line that is the picture's last column.
void keepEdge(const Run& run, int first, const std::uint32_t* words, int count) {
  for (int i = 0; i < count; ++i) {
    const Samples s = samplesOf(words[i]);
    run.edgeCb[first + i] = std::uint8_t(s.cb + kBlackChroma);
    run.edgeCr[first + i] = std::uint8_t(s.cr + kBlackChroma);
  }
}

}  // namespace

JpegPlanes::JpegPlanes(int width, int height, bool linesAreColumns)
    : width_(width),
      height_(height),
      columns_(linesAreColumns),
      halfWidth_((width + 1) / 2),
      halfHeight_((height + 1) / 2),
      luma_(zeroedArray<std::uint8_t>(std::size_t(width) * std::size_t(height))),
      cb_(zeroedArray<std::uint16_t>(std::size_t(halfWidth_) * std::size_t(halfHeight_))),
      cr_(zeroedArray<std::uint16_t>(std::size_t(halfWidth_) * std::size_t(halfHeight_))),
      edgeCb_(std::size_t(height), kBlackChroma),
      edgeCr_(std::size_t(height), kBlackChroma) {}

void JpegPlanes::line(int fixed, int first, const std::uint32_t* words, int count) {
  // The encoder repeats the last column and the last row of an odd-sized picture to
  // fill its 2 × 2 blocks: a pixel there counts twice (the corner four times). A
  // block starts as black, so a pixel adds its difference from black. The last
  // column's own chroma is kept for the columns the encoder adds beyond it.
  if (columns_) {
    const int x = fixed;
    const std::size_t blocks = std::size_t(x / 2) * std::size_t(halfHeight_);
    const bool edge = x == width_ - 1;
    const Run run{luma_.get() + x,
                  width_,
                  cb_.get() + blocks,
                  cr_.get() + blocks,
                  height_ - 1,
                  height_ % 2 == 1,
                  edge && width_ % 2 ? 2 : 1,
                  edge ? edgeCb_.data() : nullptr,
                  edge ? edgeCr_.data() : nullptr,
                  true};
    drawRun(run, first, words, count);
    if (edge) keepEdge(run, first, words, count);
    return;
  }
  const int y = fixed;
  const std::size_t blocks = std::size_t(y / 2) * std::size_t(halfWidth_);
  drawRun({luma_.get() + std::size_t(y) * std::size_t(width_), 1, cb_.get() + blocks,
           cr_.get() + blocks, width_ - 1, width_ % 2 == 1, y == height_ - 1 && height_ % 2 ? 2 : 1,
           edgeCb_.data() + y, edgeCr_.data() + y, false},
          first, words, count);
}

void JpegPlanes::chromaRows(const std::uint16_t* sums, const std::vector<std::uint8_t>& edge, int m,
                            std::uint8_t* out) const {
  const int cs = chromaStride();
  // Rows beyond the picture repeat its last row of blocks.
  int rows[8];
  for (int r = 0; r < 8; ++r) rows[r] = std::min(8 * m + r, halfHeight_ - 1);
  // The encoder's 2 × 2 average rounds with a bias of 1 and 2 in turn along a row.
  const auto average = [](int sum, int j) { return std::uint8_t((sum + ((j & 1) ? 2 : 1)) >> 2); };
  // A stored sum is the block's less black's.
  const auto block = [](std::uint16_t stored) { return std::uint16_t(stored + kBlackBlock); };
  for (int r = 0; r < 8; ++r) {
    std::uint8_t* row = out + std::ptrdiff_t(r) * cs;
    for (int j = 0; !columns_ && j < halfWidth_; ++j) {
      row[j] =
          average(block(sums[std::size_t(rows[r]) * std::size_t(halfWidth_) + std::size_t(j)]), j);
    }
    // Beyond the picture the encoder repeats its last column before averaging.
    const int i = rows[r];
    const int a = edge[std::size_t(2 * i)], b = edge[std::size_t(std::min(2 * i + 1, height_ - 1))];
    for (int j = halfWidth_; j < cs; ++j) row[j] = average(2 * a + 2 * b, j);
  }
  if (!columns_) return;
  // Planes laid out by columns are read eight columns at a time: the 8 × 8 sums
  // are gathered turned into a small block, whose rows are then averaged and
  // stored as runs (loops the compiler turns into vector code). A column at a
  // time, storing a byte into each of eight rows, took a third of an encode.
  int j = 0;
  for (; j + 8 <= halfWidth_; j += 8) {
    // The columns' memory was last written long before (by the drawing) and lies a
    // column apart: each run is a cache miss unless asked for ahead.
    for (int c = 0; c < 8 && j + kPrefetchColumns + c < halfWidth_; ++c) {
      __builtin_prefetch(sums + std::size_t(j + kPrefetchColumns + c) * std::size_t(halfHeight_) +
                         rows[0]);
    }
    std::uint16_t turned[8][8];  // [row][column]
    for (int c = 0; c < 8; ++c) {
      const std::uint16_t* column = sums + std::size_t(j + c) * std::size_t(halfHeight_);
      for (int r = 0; r < 8; ++r) turned[r][c] = column[rows[r]];
    }
    // j is even, so column j + c takes the bias of c.
    for (int r = 0; r < 8; ++r) {
      std::uint8_t* row = out + std::ptrdiff_t(r) * cs + j;
      for (int c = 0; c < 8; ++c) {
        row[c] = std::uint8_t(std::uint16_t(block(turned[r][c]) + 1 + (c & 1)) >> 2);
      }
    }
  }
  for (; j < halfWidth_; ++j) {
    const std::uint16_t* column = sums + std::size_t(j) * std::size_t(halfHeight_);
    for (int r = 0; r < 8; ++r)
      out[std::ptrdiff_t(r) * cs + j] = average(block(column[rows[r]]), j);
  }
}

void JpegPlanes::imcuRow(int m, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr) const {
  const int ls = lumaStride();
  // Rows beyond the picture repeat its last row, columns beyond it its last column.
  int rows[16];
  for (int r = 0; r < 16; ++r) rows[r] = std::min(16 * m + r, height_ - 1);
  for (int r = 0; r < 16; ++r) {
    std::uint8_t* out = y + std::ptrdiff_t(r) * ls;
    std::memcpy(out, luma_.get() + std::size_t(rows[r]) * std::size_t(width_), std::size_t(width_));
    std::memset(out + width_, out[width_ - 1], std::size_t(ls - width_));
  }
  chromaRows(cb_.get(), edgeCb_, m, cb);
  chromaRows(cr_.get(), edgeCr_, m, cr);
}

}  // namespace platform::graphics
