// The axis-aligned resampler (see resampler.h).
#include "platform/graphics/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::graphics {
namespace {

using Taps = AxisResampler::Taps;
using Weights = AxisResampler::Weights;

// Weights for destination indices [d0, d1) along one axis, where destination
// coordinate = f · source coordinate + o, the source has `len` pixels along the axis
// and only source coordinates in [c0, c1] are visible.
Weights axisWeights(int d0, int d1, double f, double o, double c0, double c1, int len) {
  Weights out;
  out.taps.resize(std::size_t(d1 - d0));
  out.lo = len;
  out.hi = 0;
  const bool enlarge = std::fabs(f) > 1 + 1e-9;
  auto add = [&](Taps& t, int i, double w) {
    if (t.count == 0) {
      t.first = i;
      t.offset = int(out.weights.size());
    }
    out.weights.push_back(float(w));
    ++t.count;
  };
  for (int u = d0; u < d1; ++u) {
    double lo = (u - o) / f;
    double hi = (u + 1 - o) / f;
    if (lo > hi) std::swap(lo, hi);
    const double width = hi - lo;
    const double a = std::max(lo, c0);
    const double b = std::min(hi, c1);
    Taps& t = out.taps[std::size_t(u - d0)];
    if (!(b > a) || width <= 0) continue;
    if (!enlarge) {
      const int i0 = std::max(0, int(std::floor(a)));
      const int i1 = std::min(len, int(std::ceil(b)));
      for (int i = i0; i < i1; ++i) {
        const double w = (std::min(b, double(i + 1)) - std::max(a, double(i))) / width;
        if (w > 0) add(t, i, w);
      }
    } else {
      const double coverage = (b - a) / width;
      const int iLo = std::max(0, int(std::floor(c0)));
      const int iHi = std::min(len - 1, int(std::ceil(c1)) - 1);
      if (iHi < iLo) continue;
      const double p = std::clamp((lo + hi) / 2 - 0.5, double(iLo), double(iHi));
      const int i0 = int(std::floor(p));
      const double frac = p - i0;
      if (i0 >= iHi || frac <= 0) {
        add(t, std::min(i0, iHi), coverage);
      } else {
        add(t, i0, (1 - frac) * coverage);
        add(t, i0 + 1, frac * coverage);
      }
    }
    if (t.count > 0) {
      out.lo = std::min(out.lo, t.first);
      out.hi = std::max(out.hi, t.first + t.count);
    }
  }
  return out;
}

// Four channels (B, G, R, A: the byte order of a pixel in memory) as one vector,
// so that each multiply-add handles a whole pixel.
typedef float v4f __attribute__((vector_size(16)));
typedef std::uint8_t v4u8 __attribute__((vector_size(4)));

// Loads four bytes as one pixel. For a three-byte raster the fourth lane holds the
// next pixel's blue, which the callers replace with full alpha (Raster::rgb pads the
// storage so that the last pixel can be read this way).
inline v4f load(const std::uint8_t* p) {
  std::int32_t word;
  std::memcpy(&word, p, 4);
#if defined(__SSE2__)
  // Widen bytes to 32-bit lanes and convert in four instructions; the generic
  // conversion below compiles to one scalar conversion per lane.
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_cvtsi32_si128(word);
  const __m128i lanes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
  return v4f(_mm_cvtepi32_ps(lanes));
#else
  v4u8 b;
  std::memcpy(&b, &word, 4);
  return __builtin_convertvector(b, v4f);
#endif
}

inline std::uint32_t pack(v4f c) {
#if defined(__SSE2__)
  // Round, clamp to [0, 255], keep colour at or below alpha, narrow to bytes.
  __m128 v = _mm_add_ps(__m128(c), _mm_set1_ps(0.5f));
  v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
  v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
  const __m128i lanes = _mm_cvttps_epi32(v);
  const __m128i words = _mm_packs_epi32(lanes, lanes);
  return std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
#else
  const auto alpha = std::uint32_t(std::clamp(c[3] + 0.5f, 0.0f, 255.0f));
  const float a = float(alpha);
  const auto b = std::uint32_t(std::clamp(c[0] + 0.5f, 0.0f, a));
  const auto g = std::uint32_t(std::clamp(c[1] + 0.5f, 0.0f, a));
  const auto r = std::uint32_t(std::clamp(c[2] + 0.5f, 0.0f, a));
  return (alpha << 24) | (r << 16) | (g << 8) | b;
#endif
}

// Source-over of premultiplied `s` onto `*d`.
inline void over(std::uint32_t* d, std::uint32_t s) {
  const std::uint32_t a = s >> 24;
  if (a == 255 || *d == 0) {
    *d = s;
    return;
  }
  if (s == 0) return;
  const std::uint32_t inv = 255 - a;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t dc = (*d >> shift) & 0xFF;
    const std::uint32_t sc = (s >> shift) & 0xFF;
    out |= std::min<std::uint32_t>(255, sc + (dc * inv + 127) / 255) << shift;
  }
  *d = out;
}

// The most taps along the row axis; rows of one line must all be present at once.
int widestTaps(const Weights& w) {
  int most = 0;
  for (const Taps& t : w.taps) most = std::max(most, t.count);
  return most;
}

// One destination line's pixels, as words: the taps `t` (weights `w`) over source
// rows add up those rows into `line` over the source columns in use, reading each
// row front to back; then `columns` filters `line` into `out`, one word per pixel
// of the line (0 where a pixel sees no source).
template <int kSrcBytes>
void lineWords(const SourceRows& src, const Taps& t, const float* w, const Weights& columns,
               v4f* line, const std::uint8_t** rows, std::uint32_t* out) {
  const int lo = columns.lo;
  const int len = columns.hi - columns.lo;
  const int count = t.count;
  float sum = 0;
  for (int k = 0; k < count; ++k) {
    rows[k] = src.row(t.first + k) + std::ptrdiff_t(lo) * kSrcBytes;
    sum += w[k];
  }
  // All taps of a column at once, so that `line` is written once.
  for (int i = 0; i < len; ++i) {
    const std::ptrdiff_t at = std::ptrdiff_t(i) * kSrcBytes;
    v4f acc = w[0] * load(rows[0] + at);
    for (int k = 1; k < count; ++k) acc += w[k] * load(rows[k] + at);
    if constexpr (kSrcBytes == 3) acc[3] = 255 * sum;
    line[i] = acc;
  }
  for (std::size_t c = 0; c < columns.taps.size(); ++c) {
    const Taps& tc = columns.taps[c];
    const float* cw = columns.weights.data() + tc.offset;
    const v4f* p = line + (tc.first - lo);
    v4f acc = {0, 0, 0, 0};
    for (int i = 0; i < tc.count; ++i) acc += cw[i] * p[i];
    out[c] = tc.count == 0 ? 0 : pack(acc);
  }
}

// Lines composited source-over into a window of pixel words.
class SurfaceWriter final : public LineSink {
 public:
  SurfaceWriter(const Surface& dest, bool columns) : dest_(dest), columns_(columns) {}
  void line(int fixed, int first, const std::uint32_t* words, int count) override {
    for (int i = 0; i < count; ++i) {
      over(columns_ ? dest_.at(fixed, first + i) : dest_.at(first + i, fixed), words[i]);
    }
  }

 private:
  Surface dest_;
  bool columns_;
};

}  // namespace

// Per-plan scratch: one line of source columns (four channels as one vector), the
// row pointers of one line's taps, and the line's pixel words.
struct AxisResampler::Scratch {
  std::vector<v4f> line;
  std::vector<const std::uint8_t*> rows;
  std::vector<std::uint32_t> words;
};

AxisResampler::~AxisResampler() = default;
AxisResampler::AxisResampler(AxisResampler&&) noexcept = default;

AxisResampler::AxisResampler(int width, int height, const CGAffineTransform& map0,
                             const ClipRect& clip, const ClipRect& window)
    : height_(height) {
  const CGAffineTransform m = snapped(map0);
  if (!isAxisAligned(m) || width <= 0 || height <= 0) return;
  // Destination x = fx · (source coordinate along one axis) + ox, likewise for y.
  swap_ = m.a == 0;
  const double fx = swap_ ? m.c : m.a, ox = m.tx;
  const double fy = swap_ ? m.b : m.d, oy = m.ty;
  const int lenX = swap_ ? height : width;
  const int lenY = swap_ ? width : height;

  const ClipRect area =
      mapRect({0, 0, double(width), double(height)}, m).intersect(clip).intersect(window);
  if (area.empty()) return;
  const int u0 = int(std::floor(area.x0)), u1 = int(std::ceil(area.x1));
  const int v0 = int(std::floor(area.y0)), v1 = int(std::ceil(area.y1));

  auto sourceSpan = [](double c0, double c1, double f, double o, int len) {
    double a = (c0 - o) / f, b = (c1 - o) / f;
    if (a > b) std::swap(a, b);
    return std::pair{std::max(a, 0.0), std::min(b, double(len))};
  };
  const auto [cx0, cx1] = sourceSpan(clip.x0, clip.x1, fx, ox, lenX);
  const auto [cy0, cy1] = sourceSpan(clip.y0, clip.y1, fy, oy, lenY);
  Weights wx = axisWeights(u0, u1, fx, ox, cx0, cx1, lenX);
  Weights wy = axisWeights(v0, v1, fy, oy, cy0, cy1, lenY);
  if (wx.hi <= wx.lo || wy.hi <= wy.lo) return;
  // Source rows feed destination rows, or for a quarter turn destination columns.
  rows_ = std::move(swap_ ? wx : wy);
  columns_ = std::move(swap_ ? wy : wx);
  line0_ = swap_ ? u0 : v0;
  pixel0_ = swap_ ? v0 : u0;
  for (std::size_t r = 0; r < rows_.taps.size(); ++r) {
    if (rows_.taps[r].count > 0) order_.push_back(int(r));
  }
  std::stable_sort(order_.begin(), order_.end(),
                   [&](int a, int b) { return rows_.taps[a].first < rows_.taps[b].first; });
  maxRowsPerLine_ = widestTaps(rows_);
  scratch_ = std::make_unique<Scratch>();
  scratch_->line.resize(std::size_t(columns_.hi - columns_.lo));
  scratch_->rows.resize(std::size_t(maxRowsPerLine_));
  scratch_->words.resize(columns_.taps.size());
}

int AxisResampler::run(const SourceRows& src, int available, LineSink& dest) {
  if (!scratch_) return height_;
  Scratch& s = *scratch_;
  for (; next_ < order_.size(); ++next_) {
    const int r = order_[next_];
    const Taps& t = rows_.taps[std::size_t(r)];
    if (t.first + t.count > available) return t.first;
    const float* w = rows_.weights.data() + t.offset;
    if (src.bytesPerPixel == 3) {
      lineWords<3>(src, t, w, columns_, s.line.data(), s.rows.data(), s.words.data());
    } else {
      lineWords<4>(src, t, w, columns_, s.line.data(), s.rows.data(), s.words.data());
    }
    dest.line(line0_ + r, pixel0_, s.words.data(), int(s.words.size()));
  }
  return height_;
}

void resampleAxisAligned(const Raster& src, const CGAffineTransform& map, const Surface& dest,
                         const ClipRect& clip) {
  const ClipRect window{double(dest.x0), double(dest.y0), double(dest.x1), double(dest.y1)};
  AxisResampler plan(src.width, src.height, map, clip, window);
  const SourceRows rows{src.bytes(), src.rowBytes(), src.bytesPerPixel, 0};
  SurfaceWriter writer(dest, plan.linesAreColumns());
  plan.run(rows, src.height, writer);
}

}  // namespace platform::graphics
