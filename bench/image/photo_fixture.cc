#include "bench/image/photo_fixture.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "platform/foundation/file_io.h"
#include "platform/graphics/cg_image.h"
#include "platform/graphics/ui_image.h"

namespace bench {
namespace {

using namespace platform::graphics;

std::uint32_t hash(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

float lattice(int x, int y, int c) {
  return float(hash(std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^
                    std::uint32_t(c) * 83492791u) &
               0xFFFF) /
         65535.0f;
}

// Value noise, smoothly interpolated between lattice points.
float valueNoise(float x, float y, int c) {
  const int xi = int(std::floor(x)), yi = int(std::floor(y));
  float fx = x - float(xi), fy = y - float(yi);
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  const float a = lattice(xi, yi, c), b = lattice(xi + 1, yi, c);
  const float d = lattice(xi, yi + 1, c), e = lattice(xi + 1, yi + 1, c);
  const float top = a + (b - a) * fx, bottom = d + (e - d) * fx;
  return top + (bottom - top) * fy;
}

}  // namespace

std::vector<unsigned char> makePhotoJpeg(int width, int height) {
  // Shading on a grid every 4 pixels (six octaves), interpolated per pixel.
  constexpr int kStep = 4;
  const int gw = width / kStep + 2, gh = height / kStep + 2;
  std::vector<float> grid(std::size_t(gw) * std::size_t(gh) * 3);
  for (int gy = 0; gy < gh; ++gy) {
    for (int gx = 0; gx < gw; ++gx) {
      for (int c = 0; c < 3; ++c) {
        float v = 0, amplitude = 0.5f, frequency = 1.0f / 500;
        for (int octave = 0; octave < 6; ++octave) {
          v += amplitude * valueNoise(float(gx * kStep) * frequency, float(gy * kStep) * frequency,
                                      c + 3 * octave);
          amplitude *= 0.55f;
          frequency *= 2.1f;
        }
        grid[(std::size_t(gy) * std::size_t(gw) + std::size_t(gx)) * 3 + std::size_t(c)] = v;
      }
    }
  }
  std::vector<std::uint8_t> rgb(std::size_t(width) * std::size_t(height) * 3);
  for (int y = 0; y < height; ++y) {
    const int gy = y / kStep;
    const float ty = float(y % kStep) / kStep;
    for (int x = 0; x < width; ++x) {
      const int gx = x / kStep;
      const float tx = float(x % kStep) / kStep;
      // Hard-edged discs and stripes, as objects in a scene.
      const float cx = float(x) / float(width) - 0.5f, cy = float(y) / float(height) - 0.5f;
      const bool disc = cx * cx + cy * cy < 0.04f;
      const bool stripe = ((x + 3 * y) / 97) % 5 == 0;
      const std::uint32_t grain = hash(std::uint32_t(y) * 7919u + std::uint32_t(x));
      for (int c = 0; c < 3; ++c) {
        auto at = [&](int ox, int oy) {
          return grid[(std::size_t(gy + oy) * std::size_t(gw) + std::size_t(gx + ox)) * 3 +
                      std::size_t(c)];
        };
        const float top = at(0, 0) + (at(1, 0) - at(0, 0)) * tx;
        const float bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * tx;
        float v = (top + (bottom - top) * ty) * 230;
        if (disc) v = v * 0.5f + 100;
        if (stripe) v += 40;
        v += float(int((grain >> (8 * c)) & 0xFF) - 128) * 0.07f;
        rgb[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(c)] =
            std::uint8_t(std::fmin(255.0f, std::fmax(0.0f, v)));
      }
    }
  }
  const auto bitmap = CGImage::create(std::size_t(width), std::size_t(height),
                                      {8, 24, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone},
                                      std::size_t(width) * 3, rgb);
  // Orientation right is written as EXIF orientation 6.
  const auto photo = UIImage::imageWithCGImage(bitmap, 1, UIImageOrientationRight);
  return *UIImageJPEGRepresentation(photo, 0.92);
}

std::filesystem::path photoFixture(const std::filesystem::path& folder, int width, int height) {
  const auto path =
      folder / ("photo_" + std::to_string(width) + "x" + std::to_string(height) + "_exif6.jpg");
  if (!std::filesystem::exists(path)) {
    std::filesystem::create_directories(folder);
    const auto bytes = makePhotoJpeg(width, height);
    platform::foundation::writeFileAtomically(path, bytes);
  }
  return path;
}

}  // namespace bench
