// The resampler for maps that only scale, mirror, turn by quarter turns and translate.
//
// Such a map sends each destination pixel back to an axis-aligned rectangle of the
// source, so the filter is separable: one list of weights per destination column and
// one per destination row, each over one source axis. A shrinking axis averages the
// source pixels under the rectangle, weighted by area (a box filter: no aliasing, and
// an exact copy when the rectangle is exactly one source pixel); an enlarging axis
// interpolates linearly between the two nearest source pixels. Parts of the rectangle
// outside the source or the clip count as transparent, which gives edges their
// partial coverage.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/graphics/pixel_source.h"

namespace platform::graphics {
namespace {

struct Taps {
  int first = 0;   // first source index along the axis
  int count = 0;   // 0 for a destination pixel that sees nothing
  int offset = 0;  // into AxisWeights::weights
};

struct AxisWeights {
  std::vector<Taps> taps;
  std::vector<float> weights;
  int lo = 0, hi = 0;  // source indices [lo, hi) that any tap reads
};

// Weights for destination indices [d0, d1) along one axis, where destination
// coordinate = f · source coordinate + o, the source has `len` pixels along the axis
// and only source coordinates in [c0, c1] are visible.
AxisWeights axisWeights(int d0, int d1, double f, double o, double c0, double c1, int len) {
  AxisWeights out;
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

struct Region {
  int u0, u1, v0, v1;  // destination pixels to write
  bool swap;           // destination x runs along source y
};

// For each destination line whose taps are source rows (destination rows, or for a
// quarter turn destination columns), the first pass adds up those rows into `line`
// over the source columns in use, reading each source row front to back; the second
// pass filters `line` into the destination line. `rows` are the weights over source
// rows, `columns` those over source columns.
template <int kBytes>
void resample(const Raster& src, const AxisWeights& rows, int r0, const AxisWeights& columns,
              int c0, int c1, bool swap, const Surface& dest) {
  const std::uint8_t* base = src.bytes();
  const std::ptrdiff_t rowBytes = src.rowBytes();
  const int lo = columns.lo;
  const int len = columns.hi - columns.lo;
  std::vector<v4f> line(static_cast<std::size_t>(len));
  for (std::size_t r = 0; r < rows.taps.size(); ++r) {
    const Taps& t = rows.taps[r];
    if (t.count == 0) continue;
    const float* w = rows.weights.data() + t.offset;
    const std::uint8_t* first =
        base + std::ptrdiff_t(t.first) * rowBytes + std::ptrdiff_t(lo) * kBytes;
    float sum = 0;
    for (int k = 0; k < t.count; ++k) sum += w[k];
    // All taps of a column at once, so that `line` is written once.
    for (int i = 0; i < len; ++i) {
      const std::uint8_t* p = first + std::ptrdiff_t(i) * kBytes;
      v4f acc = w[0] * load(p);
      for (int k = 1; k < t.count; ++k) acc += w[k] * load(p + std::ptrdiff_t(k) * rowBytes);
      if constexpr (kBytes == 3) acc[3] = 255 * sum;
      line[std::size_t(i)] = acc;
    }
    // Non-swapped: this is destination row r0 + r, written left to right. Swapped:
    // destination column r0 + r, written top to bottom.
    const int fixed = r0 + int(r);
    for (int c = c0; c < c1; ++c) {
      const Taps& tc = columns.taps[std::size_t(c - c0)];
      if (tc.count == 0) continue;
      const float* w = columns.weights.data() + tc.offset;
      const v4f* p = line.data() + (tc.first - lo);
      v4f acc = {0, 0, 0, 0};
      for (int i = 0; i < tc.count; ++i) acc += w[i] * p[i];
      over(swap ? dest.at(fixed, c) : dest.at(c, fixed), pack(acc));
    }
  }
}

}  // namespace

void resampleAxisAligned(const Raster& src, const CGAffineTransform& map0, const Surface& dest,
                         const ClipRect& clip) {
  const CGAffineTransform m = snapped(map0);
  if (!isAxisAligned(m) || src.width <= 0 || src.height <= 0) return;
  // Destination x = fx · (source coordinate along one axis) + ox, likewise for y.
  const bool swap = m.a == 0;
  const double fx = swap ? m.c : m.a, ox = m.tx;
  const double fy = swap ? m.b : m.d, oy = m.ty;
  const int lenX = swap ? src.height : src.width;
  const int lenY = swap ? src.width : src.height;

  ClipRect area = mapRect({0, 0, double(src.width), double(src.height)}, m).intersect(clip);
  area = area.intersect({double(dest.x0), double(dest.y0), double(dest.x1), double(dest.y1)});
  if (area.empty()) return;
  const Region region{int(std::floor(area.x0)), int(std::ceil(area.x1)), int(std::floor(area.y0)),
                      int(std::ceil(area.y1)), swap};

  auto sourceSpan = [](double c0, double c1, double f, double o, int len) {
    double a = (c0 - o) / f, b = (c1 - o) / f;
    if (a > b) std::swap(a, b);
    return std::pair{std::max(a, 0.0), std::min(b, double(len))};
  };
  const auto [cx0, cx1] = sourceSpan(clip.x0, clip.x1, fx, ox, lenX);
  const auto [cy0, cy1] = sourceSpan(clip.y0, clip.y1, fy, oy, lenY);
  const AxisWeights wx = axisWeights(region.u0, region.u1, fx, ox, cx0, cx1, lenX);
  const AxisWeights wy = axisWeights(region.v0, region.v1, fy, oy, cy0, cy1, lenY);
  if (wx.hi <= wx.lo || wy.hi <= wy.lo) return;
  // Source rows feed destination rows, or for a quarter turn destination columns.
  const AxisWeights& rows = swap ? wx : wy;
  const AxisWeights& columns = swap ? wy : wx;
  const int r0 = swap ? region.u0 : region.v0;
  const int c0 = swap ? region.v0 : region.u0;
  const int c1 = swap ? region.v1 : region.u1;
  if (src.bytesPerPixel == 3) {
    resample<3>(src, rows, r0, columns, c0, c1, swap, dest);
  } else {
    resample<4>(src, rows, r0, columns, c0, c1, swap, dest);
  }
}

}  // namespace platform::graphics
