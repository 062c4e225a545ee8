#include "platform/graphics/cg_context.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_graphics.h"

namespace platform::graphics {
namespace {

using namespace testing;

CGContextRef bitmapCanvas(int w, int h,
                          CGBitmapInfo info = kCGImageAlphaPremultipliedFirst |
                                              kCGBitmapByteOrder32Little) {
  return CGBitmapContextCreate(std::size_t(w), std::size_t(h), 8, 0, CGColorSpaceCreateDeviceRGB(),
                               info);
}

TEST(BitmapCanvas, DrawsUprightWithOriginBottomLeft) {
  const auto image = makeImage(4, 3, distinct);
  const auto canvas = bitmapCanvas(4, 3);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 4, 3), image);
  const auto out = CGBitmapContextCreateImage(canvas);
  EXPECT_EQ(readPixels(out), readPixels(image));
}

TEST(BitmapCanvas, YGrowsUpward) {
  // A 1 × 1 picture drawn at y = 0 lands in the bottom row.
  const auto dot = makeImage(1, 1, [](int, int) { return 0xFF0000FFu; });
  const auto canvas = bitmapCanvas(2, 3);
  CGContextDrawImage(canvas, CGRectMake(1, 0, 1, 1), dot);
  const auto out = CGBitmapContextCreateImage(canvas);
  const auto pixels = readPixels(out);
  EXPECT_EQ(hex(pixelAt(pixels, out, 1, 2)), "ff0000ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 1, 0)), "00000000");
}

TEST(BitmapCanvas, CtmOperationsComposeLikeThePlatform) {
  const auto canvas = bitmapCanvas(10, 10);
  CGContextTranslateCTM(canvas, 5, 0);
  CGContextScaleCTM(canvas, 2, 1);
  const auto ctm = CGContextGetCTM(canvas);
  // Scale applies to user points first, then the translation.
  const CGPoint p = CGPointApplyAffineTransform({1, 1}, ctm);
  EXPECT_EQ(p.x, 7);
  EXPECT_EQ(p.y, 1);
  CGContextConcatCTM(canvas, CGAffineTransformMakeTranslation(1, 0));
  EXPECT_EQ(CGPointApplyAffineTransform({0, 0}, CGContextGetCTM(canvas)).x, 7);
}

TEST(BitmapCanvas, RefusesFormatsItDoesNotSupport) {
  const auto rgb = CGColorSpaceCreateDeviceRGB();
  EXPECT_EQ(CGBitmapContextCreate(0, 5, 8, 0, rgb, kCGImageAlphaPremultipliedLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 0, 8, 0, rgb, kCGImageAlphaPremultipliedLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 5, 8, 0, rgb, kCGImageAlphaNone), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 5, 8, 0, rgb, kCGImageAlphaLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 5, 8, 0, rgb, kCGImageAlphaFirst), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 5, 16, 0, rgb, kCGImageAlphaPremultipliedLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 5, 8, 0, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone),
            nullptr);
  EXPECT_EQ(CGBitmapContextCreate(5, 5, 8, 12, rgb, kCGImageAlphaPremultipliedLast), nullptr);
  EXPECT_EQ(CGBitmapContextCreate(100000, 100000, 8, 0, rgb, kCGImageAlphaPremultipliedLast),
            nullptr);
  for (CGBitmapInfo alpha : {kCGImageAlphaPremultipliedFirst, kCGImageAlphaPremultipliedLast,
                             kCGImageAlphaNoneSkipFirst, kCGImageAlphaNoneSkipLast}) {
    for (CGBitmapInfo order :
         {kCGBitmapByteOrderDefault, kCGBitmapByteOrder32Big, kCGBitmapByteOrder32Little}) {
      EXPECT_NE(CGBitmapContextCreate(5, 5, 8, 0, rgb, alpha | order), nullptr) << alpha << order;
    }
  }
}

TEST(BitmapCanvas, EveryAcceptedFormatReadsBackTheSamePixels) {
  const auto image = makeImage(
      3, 2, [](int x, int y) { return x == 2 ? 0x80808080u : distinct(x, y); }, false);
  for (CGBitmapInfo alpha : {kCGImageAlphaPremultipliedFirst, kCGImageAlphaPremultipliedLast}) {
    for (CGBitmapInfo order :
         {kCGBitmapByteOrderDefault, kCGBitmapByteOrder32Big, kCGBitmapByteOrder32Little}) {
      const auto canvas = bitmapCanvas(3, 2, alpha | order);
      CGContextDrawImage(canvas, CGRectMake(0, 0, 3, 2), image);
      const auto out = CGBitmapContextCreateImage(canvas);
      EXPECT_EQ(CGImageGetBitmapInfo(out), alpha | order);
      EXPECT_EQ(readPixels(out), readPixels(image)) << alpha << " " << order;
    }
  }
}

TEST(BitmapCanvas, NullCanvasCallsDoNothing) {
  const CGContextRef none;
  CGContextConcatCTM(none, CGAffineTransformMakeScale(2, 2));
  CGContextScaleCTM(none, 2, 2);
  CGContextTranslateCTM(none, 1, 1);
  CGContextDrawImage(none, CGRectMake(0, 0, 1, 1), makeImage(1, 1, distinct));
  EXPECT_EQ(CGBitmapContextCreateImage(none), nullptr);
  EXPECT_TRUE(CGAffineTransformEqualToTransform(CGContextGetCTM(none), CGAffineTransformIdentity));
}

TEST(BitmapCanvas, ImageTakenEarlierIgnoresLaterDrawing) {
  const auto canvas = bitmapCanvas(2, 2);
  const auto red = makeImage(2, 2, [](int, int) { return 0xFF0000FFu; });
  const auto blue = makeImage(1, 1, [](int, int) { return 0x0000FFFFu; });
  CGContextDrawImage(canvas, CGRectMake(0, 0, 2, 2), red);
  const auto first = CGBitmapContextCreateImage(canvas);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 1, 1), blue);
  const auto second = CGBitmapContextCreateImage(canvas);
  CGContextDrawImage(canvas, CGRectMake(1, 1, 1, 1), blue);
  EXPECT_EQ(readPixels(first), readPixels(red));
  const auto pixels = readPixels(second);
  EXPECT_EQ(hex(pixelAt(pixels, second, 0, 1)), "0000ffff");
  EXPECT_EQ(hex(pixelAt(pixels, second, 1, 0)), "ff0000ff");
}

TEST(BitmapCanvas, TranslucentDrawingBlendsOverEarlierDrawing) {
  const auto canvas = bitmapCanvas(1, 1);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 1, 1),
                     makeImage(1, 1, [](int, int) { return 0x0000FFFFu; }));
  CGContextDrawImage(canvas, CGRectMake(0, 0, 1, 1),
                     makeImage(
                         1, 1, [](int, int) { return 0xFF000080u; }, false));
  const auto out = CGBitmapContextCreateImage(canvas);
  const std::uint32_t p = readPixels(out)[0];
  EXPECT_NEAR(channel(p, 0), 128, 1);
  EXPECT_EQ(channel(p, 1), 0);
  EXPECT_NEAR(channel(p, 2), 127, 1);
  EXPECT_EQ(channel(p, 3), 255);
}

TEST(BitmapCanvas, OpaqueCanvasShowsBlackWhereNothingIsDrawn) {
  const auto canvas = bitmapCanvas(2, 1, kCGImageAlphaNoneSkipLast);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 1, 1),
                     makeImage(1, 1, [](int, int) { return 0xFFFFFFFFu; }));
  const auto out = CGBitmapContextCreateImage(canvas);
  const auto pixels = readPixels(out);
  EXPECT_EQ(hex(pixels[0]), "ffffffff");
  EXPECT_EQ(hex(pixels[1]), "000000ff");
}

TEST(BitmapCanvas, ChainedDrawingsEqualDrawingEachStepAtOnce) {
  // A drawing kept as a drawing, drawn again, must read back like the same steps
  // rendered one by one (here forced by a second, empty draw).
  const auto image = makeImage(8, 6, distinct);
  auto turned = [&](bool renderEachStep) {
    const auto canvas = bitmapCanvas(6, 8);
    CGContextTranslateCTM(canvas, 6, 0);
    CGContextRotateCTM(canvas, 1.5707963267948966);
    CGContextDrawImage(canvas, CGRectMake(0, 0, 8, 6), image);
    if (renderEachStep) {
      CGContextDrawImage(canvas, CGRectMake(0, 0, 1, 1),
                         makeImage(
                             1, 1, [](int, int) { return 0u; }, false));
    }
    const auto first = CGBitmapContextCreateImage(canvas);
    const auto again = bitmapCanvas(6, 8);
    CGContextTranslateCTM(again, 0, 8);
    CGContextScaleCTM(again, 1, -1);
    CGContextDrawImage(again, CGRectMake(0, 0, 6, 8), first);
    return readPixels(CGBitmapContextCreateImage(again));
  };
  EXPECT_EQ(turned(false), turned(true));
}

TEST(BitmapCanvas, ArbitraryRotationDrawsThroughCairo) {
  const auto grey = makeImage(40, 40, [](int, int) { return 0x808080FFu; });
  const auto canvas = bitmapCanvas(80, 80);
  CGContextTranslateCTM(canvas, 40, 40);
  CGContextRotateCTM(canvas, 0.7853981633974483);
  CGContextDrawImage(canvas, CGRectMake(-20, -20, 40, 40), grey);
  const auto out = CGBitmapContextCreateImage(canvas);
  const auto pixels = readPixels(out);
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 40, 40), 0x808080FFu), 1);
  // A corner of the turned square sits 28 pixels from the centre along an axis.
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 40, 14), 0x808080FFu), 1);
  EXPECT_EQ(hex(pixelAt(pixels, out, 14, 14)), "00000000");
}

TEST(ImageCanvas, OriginTopLeftAndDrawingWithoutFlipIsUpsideDown) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 3), false, 1);
  const auto canvas = UIGraphicsGetCurrentContext();
  ASSERT_NE(canvas, nullptr);
  const auto image = makeImage(4, 3, distinct);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 4, 3), image);
  const auto result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  ASSERT_NE(result, nullptr);
  const auto out = result->CGImage();
  const auto pixels = readPixels(out);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(hex(pixelAt(pixels, out, x, y)), hex(distinct(x, 2 - y)));
    }
  }
}

TEST(ImageCanvas, PointsAtAScale) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(3, 2), false, 2);
  const auto canvas = UIGraphicsGetCurrentContext();
  const auto ctm = CGContextGetCTM(canvas);
  EXPECT_TRUE(CGAffineTransformEqualToTransform(ctm, CGAffineTransformMake(2, 0, 0, -2, 0, 4)));
  // A one-point square at (1, 0) covers pixels 2..3 of the top two rows.
  CGContextDrawImage(canvas, CGRectMake(1, 0, 1, 1),
                     makeImage(1, 1, [](int, int) { return 0x00FF00FFu; }));
  const auto result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  EXPECT_EQ(result->scale(), 2.0);
  EXPECT_EQ(result->size().width, 3);
  EXPECT_EQ(result->size().height, 2);
  const auto out = result->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), 6u);
  ASSERT_EQ(CGImageGetHeight(out), 4u);
  const auto pixels = readPixels(out);
  EXPECT_EQ(hex(pixelAt(pixels, out, 2, 0)), "00ff00ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 3, 1)), "00ff00ff");
  EXPECT_EQ(hex(pixelAt(pixels, out, 2, 2)), "00000000");
  EXPECT_EQ(hex(pixelAt(pixels, out, 1, 0)), "00000000");
}

TEST(ImageCanvas, CurrentCanvasBelongsToTheCallingThreadAndNests) {
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(1, 1), false, 1);
  const auto outer = UIGraphicsGetCurrentContext();
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(2, 2), true, 1);
  const auto inner = UIGraphicsGetCurrentContext();
  EXPECT_NE(inner, outer);
  CGContextRef seenElsewhere = inner;
  std::thread([&] { seenElsewhere = UIGraphicsGetCurrentContext(); }).join();
  EXPECT_EQ(seenElsewhere, nullptr);
  UIGraphicsEndImageContext();
  EXPECT_EQ(UIGraphicsGetCurrentContext(), outer);
  UIGraphicsEndImageContext();
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
  UIGraphicsEndImageContext();  // nothing open: no effect
  EXPECT_EQ(UIGraphicsGetImageFromCurrentImageContext(), nullptr);
}

TEST(ImageCanvas, EmptySizeOpensNothing) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(0, 10), false, 1);
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(10, -1), false, 2);
  EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}

TEST(ImageCanvas, OpaqueCanvasIsOpaqueAndBlack) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(2, 2), true, 1);
  const auto result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  EXPECT_EQ(CGImageGetAlphaInfo(result->CGImage()), kCGImageAlphaNoneSkipFirst);
  for (std::uint32_t p : readPixels(result->CGImage())) EXPECT_EQ(hex(p), "000000ff");
}

// Sizes whose products pass the width of size_t (32 bits on 32-bit ARM) are
// refused, not wrapped into a small canvas or a small-looking buffer.
TEST(CGImageCreate, SizesWhoseProductsOverflowAWordAreRefused) {
  const auto rgb = CGColorSpaceCreateDeviceRGB();
  // 65537 × 65537 pixels wraps to 131073 in 32 bits.
  EXPECT_EQ(CGBitmapContextCreate(65537, 65537, 8, 0, rgb, kCGImageAlphaPremultipliedLast),
            nullptr);
  const std::vector<std::uint8_t> bytes(64, 0);
  EXPECT_EQ(CGImage::create(65537, 65537, {8, 32, rgb, kCGImageAlphaLast}, 65537 * 4, bytes),
            nullptr);
  // Rows half the address space apart: two such strides wrap to nothing.
  const std::size_t half = std::size_t(1) << (8 * sizeof(std::size_t) - 1);
  EXPECT_EQ(CGImage::create(1, 3, {8, 32, rgb, kCGImageAlphaLast}, half, bytes), nullptr);
}

TEST(CGImageCreate, RefusesBadLayoutsAndShortData) {
  const std::vector<std::uint8_t> bytes(64, 0);
  const auto rgb = CGColorSpaceCreateDeviceRGB();
  EXPECT_NE(CGImage::create(2, 2, {8, 32, rgb, kCGImageAlphaLast}, 8, bytes), nullptr);
  EXPECT_EQ(CGImage::create(2, 2, {8, 32, rgb, kCGImageAlphaLast}, 4, bytes), nullptr);
  EXPECT_EQ(CGImage::create(4, 4, {8, 32, rgb, kCGImageAlphaLast}, 20, bytes), nullptr);
  EXPECT_EQ(CGImage::create(2, 2, {8, 32, rgb, kCGImageAlphaOnly}, 8, bytes), nullptr);
  EXPECT_EQ(CGImage::create(2, 2, {16, 64, rgb, kCGImageAlphaLast}, 16, bytes), nullptr);
  EXPECT_EQ(CGImage::create(0, 2, {8, 32, rgb, kCGImageAlphaLast}, 8, bytes), nullptr);
  EXPECT_NE(CGImage::create(2, 2, {8, 8, CGColorSpaceCreateDeviceGray(), 0}, 2, bytes), nullptr);
}

TEST(CGImageCreate, NonPremultipliedAlphaIsKeptOnReadBack) {
  const std::vector<std::uint8_t> bytes = {200, 100, 50, 128, 10, 20, 30, 255};
  const auto image =
      CGImage::create(2, 1, {8, 32, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast}, 8, bytes);
  const auto back = image->copyData();
  EXPECT_NEAR(back[0], 200, 2);
  EXPECT_NEAR(back[1], 100, 2);
  EXPECT_NEAR(back[2], 50, 2);
  EXPECT_EQ(back[3], 128);
  EXPECT_EQ(std::vector<std::uint8_t>(back.begin() + 4, back.end()),
            std::vector<std::uint8_t>({10, 20, 30, 255}));
}

}  // namespace
}  // namespace platform::graphics
