#include "tweak/image/resize_category.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "platform/foundation/exception.h"
#include "platform/graphics/cg_context.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_graphics.h"

namespace tweak {
namespace {

using namespace platform::graphics;
using namespace platform::graphics::testing;
using platform::foundation::NSException;

using Landing = std::function<std::pair<int, int>(int W, int H, int i, int j)>;

struct Row {
  int orientation;
  Landing landing;
  bool exchanged;
};

// The pixel-mapping table of resizing (in units of ratio), with the placement this
// implementation chose for 6 and 7: upright, anchored at the top-left corner.
const Row kTable[] = {
    {0,
     [](int, int, int i, int j) {
       return std::pair{i, j};
     },
     false},
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

std::pair<int, int> landingPixel(const Row& row, int W, int H, int i, int j) {
  const auto [u0, v0] = row.landing(W, H, i, j);
  const auto [u1, v1] = row.landing(W, H, i + 1, j + 1);
  return {std::min(u0, u1), std::min(v0, v1)};
}

std::shared_ptr<UIImage> imageOf(const CGImageRef& bitmap, int orientation, double scale = 1) {
  return UIImage::imageWithCGImage(bitmap, scale, static_cast<UIImageOrientation>(orientation));
}

// A bitmap with nothing drawn: its pixels are never needed for size checks.
CGImageRef blankBitmap(int width, int height) {
  return CGBitmapContextCreateImage(CGBitmapContextCreate(
      std::size_t(width), std::size_t(height), 8, 0, CGColorSpaceCreateDeviceRGB(),
      kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little));
}

std::string pixelSize(const std::shared_ptr<UIImage>& image) {
  if (!image) return "(null)";
  return std::to_string(CGImageGetWidth(image->CGImage())) + "x" +
         std::to_string(CGImageGetHeight(image->CGImage()));
}

std::string pointSize(const std::shared_ptr<UIImage>& image) {
  if (!image) return "(null)";
  return std::to_string(image->size().width) + "x" + std::to_string(image->size().height);
}

class ResizeTable : public ::testing::TestWithParam<Row> {
 protected:
  // Resizes a W × H bitmap of distinct pixels at `scale` to a target whose width
  // ratio gives one result pixel per stored pixel, two rows taller than the picture,
  // and checks every stored pixel and the transparent band.
  void checkExact(double scale) {
    const Row& row = GetParam();
    const int W = 6, H = 4;
    const auto source = imageOf(makeImage(W, H, distinct), row.orientation, scale);
    const CGSize target = CGSizeMake(W / scale, (H + 2) / scale);
    const auto result = resizedImageToSize(source, target);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->imageOrientation(), UIImageOrientationUp);
    EXPECT_EQ(result->scale(), scale);
    const CGImageRef& out = result->CGImage();
    // Canvas nw × nh points (exchanged for quarter turns) at the scale: the picture
    // is H × W or W × H pixels, and the band two pixels wide.
    const int cw = row.exchanged ? H + 2 : W;
    const int ch = row.exchanged ? W : H + 2;
    ASSERT_EQ(pixelSize(result), std::to_string(cw) + "x" + std::to_string(ch));
    const auto pixels = readPixels(out);
    for (int j = 0; j < H; ++j) {
      for (int i = 0; i < W; ++i) {
        const auto [u, v] = landingPixel(row, W, H, i, j);
        EXPECT_EQ(hex(pixelAt(pixels, out, u, v)), hex(distinct(i, j)))
            << "orientation " << row.orientation << " stored (" << i << ", " << j << ")";
      }
    }
    for (int v = 0; v < ch; ++v) {
      for (int u = 0; u < cw; ++u) {
        const bool inBand = row.exchanged ? u >= H : v >= H;
        if (inBand) {
          EXPECT_EQ(hex(pixelAt(pixels, out, u, v)), "00000000") << u << "," << v;
        }
      }
    }
  }
};

TEST_P(ResizeTable, EveryPixelLandsAsTheTableSaysAtScale1) { checkExact(1); }
TEST_P(ResizeTable, EveryPixelLandsAsTheTableSaysAtScale2) { checkExact(2); }

INSTANTIATE_TEST_SUITE_P(Table, ResizeTable, ::testing::ValuesIn(kTable),
                         [](const auto& info) { return std::to_string(info.param.orientation); });

TEST(ResizedImageToSize, SameSizeReturnsTheSameObject) {
  const auto source = imageOf(makeImage(6, 4, distinct), UIImageOrientationUp);
  EXPECT_EQ(resizedImageToSize(source, CGSizeMake(6, 4)), source);
  // The orientation is not read: even an impossible one comes back unchanged.
  const auto odd = imageOf(makeImage(6, 4, distinct), 9);
  EXPECT_EQ(resizedImageToSize(odd, CGSizeMake(6, 4)), odd);
}

TEST(ResizedImageToSize, InvalidOrientationRaisesBeforeAnyCanvasOpens) {
  for (int orientation : {9, 8, -1}) {
    const auto source = imageOf(makeImage(6, 4, distinct), orientation);
    try {
      resizedImageToSize(source, CGSizeMake(3, 2));
      ADD_FAILURE() << "no exception for orientation " << orientation;
    } catch (const NSException& e) {
      EXPECT_EQ(e.name(), "NSInternalInconsistencyException");
      EXPECT_EQ(e.reason(), "Invalid image orientation");
    }
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
  }
}

TEST(ResizedImageToSize, NoCanvasGivesNullAndLeavesNoneOpen) {
  const auto source = imageOf(makeImage(6, 4, distinct), UIImageOrientationUp);
  EXPECT_EQ(resizedImageToSize(source, CGSizeMake(0, 4)), nullptr);
  EXPECT_EQ(resizedImageToSize(source, CGSizeMake(6, -2)), nullptr);
  // A fraction of a point still opens a canvas of one pixel.
  EXPECT_EQ(pixelSize(resizedImageToSize(source, CGSizeMake(6, 0.2))), "6x1");
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
  EXPECT_EQ(resizedImageToSize(nullptr, CGSizeMake(3, 2)), nullptr);
}

TEST(ResizedImageToSize, ClosesItsCanvasAndLeavesTheCallersCurrent) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(10, 10), false, 1);
  const auto outer = UIGraphicsGetCurrentContext();
  ASSERT_NE(outer, nullptr);
  const auto result = resizedImageToSize(imageOf(makeImage(6, 4, distinct), 0), CGSizeMake(3, 2));
  EXPECT_NE(result, nullptr);
  EXPECT_EQ(UIGraphicsGetCurrentContext(), outer);
  UIGraphicsEndImageContext();
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}

TEST(ResizedImageToSize, BandBelowA1280x960PictureIn640x640) {
  const auto source = imageOf(makeImage(1280, 960, [](int, int) { return 0x336699FFu; }), 0);
  const auto result = resizedImageToSize(source, CGSizeMake(640, 640));
  ASSERT_EQ(pixelSize(result), "640x640");
  const auto pixels = readPixels(result->CGImage());
  const auto& out = result->CGImage();
  EXPECT_EQ(hex(pixelAt(pixels, out, 0, 0)), "336699ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 639, 479)), "336699ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 0, 480)), "00000000");
  EXPECT_EQ(hex(pixelAt(pixels, out, 639, 639)), "00000000");
}

TEST(ResizedImageToSize, Scale2KeepsPointsAndScale) {
  const auto source = imageOf(blankBitmap(1280, 960), 0, 2);
  const auto result = resizedImageToSize(source, CGSizeMake(640, 480));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(pointSize(result), pointSize(imageOf(blankBitmap(1280, 960), 0, 2)));
  EXPECT_EQ(result->size().width, 640);
  EXPECT_EQ(result->size().height, 480);
  EXPECT_EQ(pixelSize(result), "1280x960");
  EXPECT_EQ(result->scale(), 2.0);
}

TEST(ResizedImageToSize, FineCheckerboardShrunkFourTimesIsFlatGrey) {
  const auto board =
      makeImage(256, 128, [](int x, int y) { return ((x + y) % 2) ? 0xFFFFFFFFu : 0x000000FFu; });
  const auto result = resizedImageToSize(imageOf(board, 0), CGSizeMake(64, 32));
  ASSERT_EQ(pixelSize(result), "64x32");
  for (std::uint32_t p : readPixels(result->CGImage())) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(channel(p, c), 127.5, 2) << hex(p);
    }
    EXPECT_EQ(channel(p, 3), 255);
  }
}

TEST(ResizedImageToSize, EnlargingInterpolates) {
  // Black and white columns, enlarged eight times: the columns between their
  // centres step from black to white.
  const auto pair = makeImage(2, 1, [](int x, int) { return x ? 0xFFFFFFFFu : 0x000000FFu; });
  const auto result = resizedImageToSize(imageOf(pair, 0), CGSizeMake(16, 8));
  ASSERT_EQ(pixelSize(result), "16x8");
  const auto pixels = readPixels(result->CGImage());
  int previous = -1;
  int distinctLevels = 0;
  for (int u = 0; u < 16; ++u) {
    const int level = channel(pixels[std::size_t(u)], 0);
    EXPECT_GE(level, previous);
    if (level != previous) ++distinctLevels;
    previous = level;
  }
  EXPECT_GE(distinctLevels, 6);
  EXPECT_EQ(channel(pixels[0], 0), 0);
  EXPECT_EQ(channel(pixels[15], 0), 255);
}

TEST(ResizedImageToFitInSize, SizeExamples) {
  struct Case {
    int w, h, orientation;
    double bw, bh;
    bool scaleIfSmaller;
    const char* pixels;
  };
  const Case cases[] = {
      {3264, 2448, 0, 1280, 1280, false, "1280x960"},
      {1572, 1179, 0, 1280, 1280, false, "1280x960"},
      {800, 600, 0, 1280, 1280, true, "1280x960"},
      {1000, 3000, 0, 1280, 1280, false, "426x1280"},
      {4000, 3000, 0, 1280, 1280, false, "1280x960"},
      {3024, 4032, 0, 750, 1334, false, "750x1000"},
      // Bound exchanged to 720 × 1280, target 720 × 540, canvas 540 × 720.
      {3264, 2448, 3, 1280, 720, false, "540x720"},
  };
  for (const Case& c : cases) {
    const auto result = resizedImageToFitInSize(imageOf(blankBitmap(c.w, c.h), c.orientation),
                                                CGSizeMake(c.bw, c.bh), c.scaleIfSmaller);
    EXPECT_EQ(pixelSize(result), c.pixels) << c.w << "x" << c.h;
    if (result) {
      EXPECT_EQ(result->imageOrientation(), UIImageOrientationUp);
    }
  }
}

TEST(ResizedImageToFitInSize, SmallerInBothDirectionsReturnsTheSameObject) {
  const auto small = imageOf(blankBitmap(800, 600), 0);
  EXPECT_EQ(resizedImageToFitInSize(small, CGSizeMake(1280, 1280), false), small);
  const auto exact = imageOf(blankBitmap(1280, 1280), 0);
  EXPECT_EQ(resizedImageToFitInSize(exact, CGSizeMake(1280, 1280), false), exact);
  const auto photo = imageOf(blankBitmap(1000, 600), 0);
  EXPECT_EQ(resizedImageToFitInSize(photo, CGSizeMake(1280, 1280), false), photo);
}

TEST(ResizedImageToFitInSize, TallPictureLeavesATwoPointBandAtTheBottom) {
  const auto tall = makeImage(1000, 3000, [](int, int) { return 0x808080FFu; });
  const auto result = resizedImageToFitInSize(imageOf(tall, 0), CGSizeMake(1280, 1280), false);
  ASSERT_EQ(pixelSize(result), "426x1280");
  const auto& out = result->CGImage();
  const auto pixels = readPixels(out);
  // Scaled by 426 / 1000 the picture is 1278 points tall.
  for (int u : {0, 200, 425}) {
    EXPECT_EQ(hex(pixelAt(pixels, out, u, 1277)), "808080ff") << u;
    EXPECT_EQ(hex(pixelAt(pixels, out, u, 1278)), "00000000") << u;
    EXPECT_EQ(hex(pixelAt(pixels, out, u, 1279)), "00000000") << u;
  }
}

TEST(ResizedImageToFitInSize, InvalidOrientationRaisesUnlessNothingChanges) {
  const auto odd = imageOf(blankBitmap(800, 600), 9);
  // Not exchanged, smaller than the bound: same size, returned before the check.
  EXPECT_EQ(resizedImageToFitInSize(odd, CGSizeMake(1280, 1280), false), odd);
  EXPECT_THROW(resizedImageToFitInSize(odd, CGSizeMake(1280, 1280), true), NSException);
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}

}  // namespace
}  // namespace tweak
