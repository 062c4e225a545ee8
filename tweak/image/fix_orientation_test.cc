#include "tweak/image/fix_orientation.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "platform/graphics/cg_context.h"
#include "platform/graphics/testing/image_fixtures.h"

namespace tweak {
namespace {

using namespace platform::graphics;
using namespace platform::graphics::testing;

// Where the grid point (i, j) of a W × H stored bitmap lands in the result.
using Landing = std::function<std::pair<int, int>(int W, int H, int i, int j)>;

struct Row {
  int orientation;
  Landing landing;
  bool exchanged;
};

// The pixel-mapping table of the operation.
const Row kTable[] = {
    {1,
     [](int W, int H, int i, int j) {
       return std::pair{W - i, H - j};
     },
     false},
    {2,
     [](int W, int, int i, int j) {
       return std::pair{j, W - i};
     },
     true},
    {3,
     [](int, int H, int i, int j) {
       return std::pair{H - j, i};
     },
     true},
    {4,
     [](int W, int, int i, int j) {
       return std::pair{W - i, j};
     },
     false},
    {5,
     [](int, int H, int i, int j) {
       return std::pair{i, H - j};
     },
     false},
    {6,
     [](int, int, int i, int j) {
       return std::pair{j, i};
     },
     true},
    {7,
     [](int W, int H, int i, int j) {
       return std::pair{H - j, W - i};
     },
     true},
};

// The result pixel that the stored pixel (i, j) covers: the square from (i, j) to
// (i + 1, j + 1) maps to the square spanned by the images of its corners.
std::pair<int, int> landingPixel(const Row& row, int W, int H, int i, int j) {
  const auto [u0, v0] = row.landing(W, H, i, j);
  const auto [u1, v1] = row.landing(W, H, i + 1, j + 1);
  return {std::min(u0, u1), std::min(v0, v1)};
}

std::shared_ptr<UIImage> imageOf(const CGImageRef& bitmap, int orientation, double scale = 1) {
  return UIImage::imageWithCGImage(bitmap, scale, static_cast<UIImageOrientation>(orientation));
}

class FixOrientation : public ::testing::TestWithParam<Row> {};

TEST_P(FixOrientation, EveryPixelLandsAsTheTableSaysAtScale1) {
  const Row& row = GetParam();
  const int W = 5, H = 3;
  const auto source = imageOf(makeImage(W, H, distinct), row.orientation);
  const auto result = fixOrientation(source);
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result, source);
  EXPECT_EQ(result->imageOrientation(), UIImageOrientationUp);
  EXPECT_EQ(result->scale(), 1.0);
  const CGImageRef& out = result->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), std::size_t(row.exchanged ? H : W));
  ASSERT_EQ(CGImageGetHeight(out), std::size_t(row.exchanged ? W : H));
  const auto pixels = readPixels(out);
  for (int j = 0; j < H; ++j) {
    for (int i = 0; i < W; ++i) {
      const auto [u, v] = landingPixel(row, W, H, i, j);
      EXPECT_EQ(hex(pixelAt(pixels, out, u, v)), hex(distinct(i, j)))
          << "orientation " << row.orientation << " stored (" << i << ", " << j << ")";
    }
  }
}

TEST_P(FixOrientation, EveryBlockLandsAsTheTableSaysAtScale2) {
  // At scale 2 every placement is halved: each 2 × 2 block of the stored bitmap
  // becomes one result pixel, exact because each block is one colour.
  const Row& row = GetParam();
  const int W = 5, H = 3;
  const auto bitmap = makeImage(2 * W, 2 * H, [](int x, int y) { return distinct(x / 2, y / 2); });
  const auto result = fixOrientation(imageOf(bitmap, row.orientation, 2));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->scale(), 1.0);
  const CGImageRef& out = result->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), std::size_t(row.exchanged ? H : W));
  ASSERT_EQ(CGImageGetHeight(out), std::size_t(row.exchanged ? W : H));
  const auto pixels = readPixels(out);
  for (int j = 0; j < H; ++j) {
    for (int i = 0; i < W; ++i) {
      const auto [u, v] = landingPixel(row, W, H, i, j);
      EXPECT_EQ(hex(pixelAt(pixels, out, u, v)), hex(distinct(i, j)))
          << "orientation " << row.orientation << " block (" << i << ", " << j << ")";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, FixOrientation, ::testing::ValuesIn(kTable),
                         [](const auto& info) { return std::to_string(info.param.orientation); });

TEST(FixOrientationCases, UpReturnsTheSameObject) {
  const auto source = imageOf(makeImage(4, 3, distinct), 0);
  EXPECT_EQ(fixOrientation(source), source);
}

TEST(FixOrientationCases, NullGivesNull) { EXPECT_EQ(fixOrientation(nullptr), nullptr); }

TEST(FixOrientationCases, Right3000x2000PutsStoredTopLeftAtTopRight) {
  const auto bitmap = makeImage(
      3000, 2000, [](int x, int y) { return (x < 10 && y < 10) ? 0xFF0000FFu : 0x204060FFu; });
  const auto source = imageOf(bitmap, UIImageOrientationRight);
  EXPECT_EQ(source->size().width, 2000);
  EXPECT_EQ(source->size().height, 3000);
  const auto result = fixOrientation(source);
  ASSERT_NE(result, nullptr);
  const CGImageRef& out = result->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), 2000u);
  ASSERT_EQ(CGImageGetHeight(out), 3000u);
  EXPECT_EQ(result->imageOrientation(), UIImageOrientationUp);
  const auto pixels = readPixels(out);
  EXPECT_EQ(hex(pixelAt(pixels, out, 1999, 0)), "ff0000ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 1990, 9)), "ff0000ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 1989, 0)), "204060ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 0, 0)), "204060ff");
}

TEST(FixOrientationCases, LeftMirrored3000x2000Transposes) {
  // Stored colour encodes the column in red/green and the row in blue.
  const auto code = [](int x, int y) {
    return (std::uint32_t(x & 0xFF) << 24) | (std::uint32_t(x >> 8) << 16) |
           (std::uint32_t(y % 251) << 8) | 0xFF;
  };
  const auto result = fixOrientation(imageOf(makeImage(3000, 2000, code), 6));
  ASSERT_NE(result, nullptr);
  const CGImageRef& out = result->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), 2000u);
  ASSERT_EQ(CGImageGetHeight(out), 3000u);
  const auto pixels = readPixels(out);
  EXPECT_EQ(hex(pixelAt(pixels, out, 0, 0)), hex(code(0, 0)));
  // The top row is the stored left column.
  for (int u : {1, 2, 250, 1000, 1999}) {
    EXPECT_EQ(hex(pixelAt(pixels, out, u, 0)), hex(code(0, u))) << u;
  }
  EXPECT_EQ(hex(pixelAt(pixels, out, 1234, 2999)), hex(code(2999, 1234)));
}

TEST(FixOrientationCases, Scale2LogicalSizeGivesThatManyPixelsAtScale1) {
  const auto source = imageOf(makeImage(200, 100, distinct), UIImageOrientationDown, 2);
  EXPECT_EQ(source->size().width, 100);
  EXPECT_EQ(source->size().height, 50);
  const auto result = fixOrientation(source);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(CGImageGetWidth(result->CGImage()), 100u);
  EXPECT_EQ(CGImageGetHeight(result->CGImage()), 50u);
  EXPECT_EQ(result->scale(), 1.0);
}

TEST(FixOrientationCases, FractionalLogicalWidthIsTruncated) {
  // 1009 pixels at scale 10 are 100.9 points wide.
  const auto source = imageOf(makeImage(1009, 20, distinct), UIImageOrientationUpMirrored, 10);
  EXPECT_DOUBLE_EQ(source->size().width, 100.9);
  const auto result = fixOrientation(source);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(CGImageGetWidth(result->CGImage()), 100u);
  EXPECT_EQ(CGImageGetHeight(result->CGImage()), 2u);
}

TEST(FixOrientationCases, OrientationOutsideTheEnumerationRedrawsAsStored) {
  const auto bitmap = makeImage(5, 3, distinct);
  for (int orientation : {9, 8, -1}) {
    const auto source = imageOf(bitmap, orientation);
    const auto result = fixOrientation(source);
    ASSERT_NE(result, nullptr) << orientation;
    EXPECT_NE(result, source);
    EXPECT_NE(result->CGImage(), bitmap);
    EXPECT_EQ(result->imageOrientation(), UIImageOrientationUp);
    EXPECT_EQ(readPixels(result->CGImage()), readPixels(bitmap)) << orientation;
  }
}

TEST(FixOrientationCases, KeepsTheBitmapFormatAndTransparency) {
  const auto bitmap = makeImage(
      4, 2, [](int x, int y) { return x == 0 && y == 0 ? 0x00000000u : 0x80402080u; },
      /*opaque=*/false);
  const auto result = fixOrientation(imageOf(bitmap, UIImageOrientationDown));
  ASSERT_NE(result, nullptr);
  const CGImageRef& out = result->CGImage();
  EXPECT_EQ(CGImageGetBitmapInfo(out), CGImageGetBitmapInfo(bitmap));
  EXPECT_EQ(CGImageGetBitsPerComponent(out), 8u);
  EXPECT_EQ(CGImageGetColorSpace(out)->model, CGColorSpaceModel::kCGColorSpaceModelRGB);
  const auto in = readPixels(bitmap);
  const auto pixels = readPixels(out);
  EXPECT_EQ(hex(pixelAt(pixels, out, 3, 1)), "00000000");
  EXPECT_EQ(hex(pixelAt(pixels, out, 0, 0)), hex(pixelAt(in, bitmap, 3, 1)));
}

TEST(FixOrientationCases, NoCanvasGivesNull) {
  // Half a point wide: no whole pixel.
  EXPECT_EQ(fixOrientation(imageOf(makeImage(1, 1, distinct), UIImageOrientationDown, 2)), nullptr);
  // 24-bit RGB without alpha is a valid image but no canvas takes that format.
  const std::vector<std::uint8_t> rgb(4 * 3 * 3, 0x7F);
  const auto packed =
      CGImage::create(4, 3, {8, 24, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone}, 12, rgb);
  ASSERT_NE(packed, nullptr);
  EXPECT_EQ(fixOrientation(imageOf(packed, UIImageOrientationLeft)), nullptr);
  // Nor does non-premultiplied alpha.
  const std::vector<std::uint8_t> rgba(4 * 3 * 4, 0x7F);
  const auto straight =
      CGImage::create(4, 3, {8, 32, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast}, 16, rgba);
  ASSERT_NE(straight, nullptr);
  EXPECT_EQ(fixOrientation(imageOf(straight, UIImageOrientationDown)), nullptr);
}

TEST(FixOrientationCases, DecodedJpegWithExifRightComesOutUpright) {
  // Stored picture: left half red, right half blue; top rows carry a green band.
  const auto stored = makeImage(64, 48, [](int x, int y) {
    if (y < 8) return 0x00C000FFu;
    return x < 32 ? 0xE00000FFu : 0x0000E0FFu;
  });
  const auto bytes = jpegWithApp1(stored, exifPayload(6));
  const auto decoded = UIImage::initWithData(bytes);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->imageOrientation(), UIImageOrientationRight);
  const auto upright = fixOrientation(decoded);
  ASSERT_NE(upright, nullptr);
  const CGImageRef& out = upright->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), 48u);
  ASSERT_EQ(CGImageGetHeight(out), 64u);
  const auto pixels = readPixels(out);
  // Turned a quarter turn clockwise: the green band is now the right-hand columns,
  // red (stored left) on top, blue below.
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 46, 30), 0x00C000FFu), 12);
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 20, 10), 0xE00000FFu), 12);
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 20, 50), 0x0000E0FFu), 12);
}

}  // namespace
}  // namespace tweak
