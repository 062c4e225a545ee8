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
#include <vector>

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

inline std::uint32_t pack(const float* c) {
  const auto alpha = std::uint32_t(std::clamp(c[3] + 0.5f, 0.0f, 255.0f));
  const float a = float(alpha);
  const auto b = std::uint32_t(std::clamp(c[0] + 0.5f, 0.0f, a));
  const auto g = std::uint32_t(std::clamp(c[1] + 0.5f, 0.0f, a));
  const auto r = std::uint32_t(std::clamp(c[2] + 0.5f, 0.0f, a));
  return (alpha << 24) | (r << 16) | (g << 8) | b;
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

inline bool isSingleUnitTap(const Taps& t, const std::vector<float>& w) {
  return t.count == 1 && w[std::size_t(t.offset)] == 1.0f;
}

}  // namespace

void resampleAxisAligned(const Raster& src, const CGAffineTransform& map0, const Surface& dest,
                         const ClipRect& clip) {
  const CGAffineTransform m = snapped(map0);
  if (!isAxisAligned(m) || src.width <= 0 || src.height <= 0) return;
  // Destination x = fx · (source coordinate along axis ax) + ox, likewise for y.
  const bool swap = m.a == 0;
  const double fx = swap ? m.c : m.a, ox = m.tx;
  const double fy = swap ? m.b : m.d, oy = m.ty;
  const int lenX = swap ? src.height : src.width;
  const int lenY = swap ? src.width : src.height;

  ClipRect area = mapRect({0, 0, double(src.width), double(src.height)}, m).intersect(clip);
  area = area.intersect({double(dest.x0), double(dest.y0), double(dest.x1), double(dest.y1)});
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
  const AxisWeights wx = axisWeights(u0, u1, fx, ox, cx0, cx1, lenX);
  const AxisWeights wy = axisWeights(v0, v1, fy, oy, cy0, cy1, lenY);
  if (wx.hi <= wx.lo || wy.hi <= wy.lo) return;

  // Stepping one source index along the axis of destination x (k) or y (l).
  const std::ptrdiff_t stepK = swap ? src.width : 1;
  const std::ptrdiff_t stepL = swap ? 1 : src.width;
  const std::uint32_t* base = src.pixels.data();

  const bool copyX = std::all_of(wx.taps.begin(), wx.taps.end(), [&](const Taps& t) {
    return t.count == 0 || isSingleUnitTap(t, wx.weights);
  });
  std::vector<float> tmp;
  if (!copyX) tmp.resize(std::size_t(wx.hi - wx.lo) * 4);

  for (int v = v0; v < v1; ++v) {
    const Taps& tv = wy.taps[std::size_t(v - v0)];
    if (tv.count == 0) continue;
    std::uint32_t* out = dest.at(u0, v);
    if (copyX && isSingleUnitTap(tv, wy.weights)) {
      // One source pixel per destination pixel: an exact copy.
      const std::uint32_t* line = base + tv.first * stepL;
      for (int u = u0; u < u1; ++u, ++out) {
        const Taps& tu = wx.taps[std::size_t(u - u0)];
        if (tu.count) over(out, line[tu.first * stepK]);
      }
      continue;
    }
    if (copyX) tmp.resize(std::size_t(wx.hi - wx.lo) * 4);
    // Filter along the source axis of destination y, for every source index k that a
    // destination column reads.
    std::fill(tmp.begin(), tmp.end(), 0.0f);
    for (int l = 0; l < tv.count; ++l) {
      const float w = wy.weights[std::size_t(tv.offset + l)];
      const std::uint32_t* p = base + (tv.first + l) * stepL + wx.lo * stepK;
      float* t = tmp.data();
      for (int k = wx.lo; k < wx.hi; ++k, p += stepK, t += 4) {
        const std::uint32_t px = *p;
        t[0] += w * float(px & 0xFF);
        t[1] += w * float((px >> 8) & 0xFF);
        t[2] += w * float((px >> 16) & 0xFF);
        t[3] += w * float(px >> 24);
      }
    }
    // Then along the other axis, one destination pixel at a time.
    for (int u = u0; u < u1; ++u, ++out) {
      const Taps& tu = wx.taps[std::size_t(u - u0)];
      if (tu.count == 0) continue;
      float acc[4] = {0, 0, 0, 0};
      const float* t = tmp.data() + std::size_t(tu.first - wx.lo) * 4;
      const float* w = wx.weights.data() + tu.offset;
      for (int i = 0; i < tu.count; ++i, t += 4) {
        acc[0] += w[i] * t[0];
        acc[1] += w[i] * t[1];
        acc[2] += w[i] * t[2];
        acc[3] += w[i] * t[3];
      }
      over(out, pack(acc));
    }
  }
}

}  // namespace platform::graphics
