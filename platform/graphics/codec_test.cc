#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <random>

#include "platform/graphics/cg_context.h"
#include "platform/graphics/codecs.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/testing/png_fixture.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics {
namespace {

using namespace testing;

// A smooth picture with a little grain, as a photo has: hard colour edges (which
// 4:2:0 chroma blurs) are not what the quality bound is about.
std::uint32_t photoLike(int x, int y) {
  const int r = 128 + int(100 * std::sin(x * 0.05) * std::cos(y * 0.03));
  const int g = (x * 255) / 160;
  const int b = 60 + int(60 * std::sin((x + 2 * y) * 0.02)) + ((x * y) % 7);
  return (std::uint32_t(r) << 24) | (std::uint32_t(g) << 16) | (std::uint32_t(b) << 8) | 0xFF;
}

TEST(JpegCodec, QualityPoint7RoundTripStaysClose) {
  // Stated bound: mean absolute error under 2 levels per channel and no channel of
  // any pixel off by more than 16.
  const auto drawn = makeImage(160, 120, photoLike);
  const auto bytes = UIImageJPEGRepresentation(UIImage::imageWithCGImage(drawn), 0.7);
  ASSERT_TRUE(bytes);
  const auto decoded = UIImage::initWithData(*bytes);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->imageOrientation(), UIImageOrientationUp);
  const auto& out = decoded->CGImage();
  ASSERT_EQ(CGImageGetWidth(out), 160u);
  ASSERT_EQ(CGImageGetHeight(out), 120u);
  EXPECT_EQ(CGImageGetAlphaInfo(out), kCGImageAlphaNoneSkipFirst);
  const auto a = readPixels(drawn), b = readPixels(out);
  double total = 0;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (int c = 0; c < 3; ++c) total += std::abs(channel(a[i], c) - channel(b[i], c));
    worst = std::max(worst, colourDistance(a[i], b[i]));
  }
  EXPECT_LT(total / (a.size() * 3), 2.0);
  EXPECT_LE(worst, 16);
}

TEST(JpegCodec, LowerQualityGivesFewerBytes) {
  const auto image = UIImage::imageWithCGImage(makeImage(160, 120, photoLike));
  const auto high = UIImageJPEGRepresentation(image, 1.0);
  const auto mid = UIImageJPEGRepresentation(image, 0.7);
  const auto low = UIImageJPEGRepresentation(image, 0.0);
  ASSERT_TRUE(high && mid && low);
  EXPECT_GT(high->size(), mid->size());
  EXPECT_GT(mid->size(), low->size());
  EXPECT_FALSE(UIImageJPEGRepresentation(nullptr, 0.5));
}

TEST(JpegCodec, TransparentPixelsEncodeBlack) {
  const auto clear = makeImage(
      16, 16, [](int, int) { return 0u; }, false);
  const auto bytes = UIImageJPEGRepresentation(UIImage::imageWithCGImage(clear), 0.9);
  const auto back = UIImage::initWithData(*bytes);
  for (std::uint32_t p : readPixels(back->CGImage())) EXPECT_LE(colourDistance(p, 0xFF), 2);
}

TEST(JpegCodec, ExifOrientationTableOnRealJpegBytes) {
  const auto image = makeImage(24, 16, photoLike);
  const std::pair<int, UIImageOrientation> table[] = {
      {1, UIImageOrientationUp},           {3, UIImageOrientationDown},
      {6, UIImageOrientationRight},        {8, UIImageOrientationLeft},
      {2, UIImageOrientationUpMirrored},   {4, UIImageOrientationDownMirrored},
      {5, UIImageOrientationLeftMirrored}, {7, UIImageOrientationRightMirrored},
      {0, UIImageOrientationUp},           {9, UIImageOrientationUp},
      {65535, UIImageOrientationUp}};
  for (const auto& [exif, expected] : table) {
    const auto decoded = UIImage::initWithData(jpegWithApp1(image, exifPayload(exif)));
    ASSERT_NE(decoded, nullptr) << exif;
    EXPECT_EQ(decoded->imageOrientation(), expected) << "EXIF " << exif;
    EXPECT_EQ(CGImageGetWidth(decoded->CGImage()), 24u);
  }
  EXPECT_EQ(UIImage::initWithData(jpegWithApp1(image, {}))->imageOrientation(),
            UIImageOrientationUp);
}

TEST(JpegCodec, EncoderWritesTheOrientationItReads) {
  const auto stored = makeImage(24, 16, photoLike);
  for (int o = 0; o < 8; ++o) {
    const auto image = UIImage::imageWithCGImage(stored, 1, UIImageOrientation(o));
    const auto back = UIImage::initWithData(*UIImageJPEGRepresentation(image, 0.8));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->imageOrientation(), o);
    EXPECT_EQ(back->size().width, image->size().width);
  }
}

TEST(JpegCodec, ExifWithGarbageIsIgnored) {
  const auto image = makeImage(24, 16, photoLike);
  std::vector<std::vector<std::uint8_t>> payloads = {
      exifPayload(6, 3, 1, 0xFFFFFFF0u),  // IFD0 far outside the segment
      exifPayload(6, 3, 1, 2),            // IFD0 inside the TIFF header
      exifPayload(6, 3, 0x7FFFFFFFu),     // a count that would run off the end
      exifPayload(6, 2),                  // wrong type (ASCII)
      {'E', 'x', 'i', 'f', 0, 0},         // header only
      {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF},
  };
  std::mt19937 random(7);
  for (int n = 0; n < 50; ++n) {
    auto p = exifPayload(6);
    for (std::size_t i = 6; i < p.size(); ++i) p[i] = std::uint8_t(random());
    payloads.push_back(p);
  }
  for (const auto& payload : payloads) {
    const auto decoded = UIImage::initWithData(jpegWithApp1(image, payload));
    ASSERT_NE(decoded, nullptr);
    const int o = decoded->imageOrientation();
    EXPECT_TRUE(o >= 0 && o <= 7);
  }
  EXPECT_EQ(UIImage::initWithData(jpegWithApp1(image, exifPayload(6, 3, 1, 0xFFFFFFF0u)))
                ->imageOrientation(),
            UIImageOrientationUp);
}

TEST(JpegCodec, DrawingSmallDecodesAtReducedScaleWithTheRightColours) {
  const auto big =
      makeImage(800, 600, [](int x, int) { return x < 400 ? 0xC02020FFu : 0x2020C0FFu; });
  const auto decoded =
      UIImage::initWithData(*UIImageJPEGRepresentation(UIImage::imageWithCGImage(big), 0.9));
  const auto canvas =
      CGBitmapContextCreate(100, 75, 8, 0, CGColorSpaceCreateDeviceRGB(),
                            kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
  CGContextDrawImage(canvas, CGRectMake(0, 0, 100, 75), decoded->CGImage());
  const auto out = CGBitmapContextCreateImage(canvas);
  const auto pixels = readPixels(out);
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 10, 40), 0xC02020FFu), 6);
  EXPECT_LE(colourDistance(pixelAt(pixels, out, 90, 40), 0x2020C0FFu), 6);
}

TEST(PngCodec, DecodesOpaqueAndTransparent) {
  const auto opaque = UIImage::initWithData(encodePng(5, 3, distinct, false));
  ASSERT_NE(opaque, nullptr);
  EXPECT_EQ(CGImageGetAlphaInfo(opaque->CGImage()), kCGImageAlphaNoneSkipFirst);
  EXPECT_EQ(readPixels(opaque->CGImage()), readPixels(makeImage(5, 3, distinct)));

  const auto clear = UIImage::initWithData(
      encodePng(2, 1, [](int x, int) { return x ? 0xFF000080u : 0x00FF0000u; }));
  ASSERT_NE(clear, nullptr);
  EXPECT_EQ(CGImageGetAlphaInfo(clear->CGImage()), kCGImageAlphaPremultipliedFirst);
  const auto pixels = readPixels(clear->CGImage());
  EXPECT_EQ(hex(pixels[0]), "00000000");
  EXPECT_EQ(hex(pixels[1]), "80000080");  // premultiplied
}

// Bad input: each must answer nullptr or an image, never crash or run away.
class BadInput : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> jpeg = jpegWithApp1(makeImage(128, 96, photoLike), exifPayload(6));
  std::vector<std::uint8_t> png = encodePng(64, 48, photoLike);

  // Decodes and, if an image comes back, draws and encodes it, so that lazily
  // decoded data is read too.
  static void exercise(const std::vector<std::uint8_t>& bytes) {
    const auto image = UIImage::initWithData(bytes);
    if (!image) return;
    EXPECT_GT(CGImageGetWidth(image->CGImage()), 0u);
    const auto canvas = CGBitmapContextCreate(16, 16, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                              kCGImageAlphaPremultipliedFirst);
    CGContextDrawImage(canvas, CGRectMake(0, 0, 16, 16), image->CGImage());
    EXPECT_TRUE(UIImageJPEGRepresentation(
        UIImage::imageWithCGImage(CGBitmapContextCreateImage(canvas)), 0.5));
    image->CGImage()->copyData();
  }
};

TEST_F(BadInput, EmptyAndNonImageData) {
  EXPECT_EQ(UIImage::initWithData(std::vector<std::uint8_t>{}), nullptr);
  const std::string text = "this is not an image at all";
  EXPECT_EQ(UIImage::initWithData(std::vector<std::uint8_t>(text.begin(), text.end())), nullptr);
  EXPECT_EQ(UIImage::initWithData(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF}), nullptr);
  EXPECT_EQ(UIImage::initWithData(std::vector<std::uint8_t>(png.begin(), png.begin() + 8)),
            nullptr);
}

TEST_F(BadInput, TruncatedJpegDecodesWhatIsThereAndGreyForTheRest) {
  for (std::size_t keep : {std::size_t(20), jpeg.size() / 4, jpeg.size() / 2, jpeg.size() - 2}) {
    exercise(std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(keep)));
  }
  // Cut halfway through the scan data, after the start-of-scan marker.
  std::size_t scan = 0;
  while (scan + 1 < jpeg.size() && !(jpeg[scan] == 0xFF && jpeg[scan + 1] == 0xDA)) ++scan;
  const std::vector<std::uint8_t> half(jpeg.begin(),
                                       jpeg.begin() + std::ptrdiff_t((scan + jpeg.size()) / 2));
  const auto image = UIImage::initWithData(half);
  ASSERT_NE(image, nullptr);
  const auto pixels = readPixels(image->CGImage());
  EXPECT_LE(colourDistance(pixels.back(), 0x808080FFu), 2);
}

TEST_F(BadInput, CorruptJpegAndPng) {
  std::mt19937 random(42);
  for (int n = 0; n < 200; ++n) {
    auto j = jpeg;
    auto p = png;
    for (int k = 0; k < 8; ++k) {
      j[2 + random() % (j.size() - 2)] = std::uint8_t(random());
      p[8 + random() % (p.size() - 8)] = std::uint8_t(random());
    }
    exercise(j);
    exercise(p);
  }
}

TEST_F(BadInput, TruncatedPngIsRefused) {
  EXPECT_NE(UIImage::initWithData(png), nullptr);
  EXPECT_EQ(UIImage::initWithData(std::vector<std::uint8_t>(png.begin(), png.end() - 20)), nullptr);
  EXPECT_EQ(UIImage::initWithData(std::vector<std::uint8_t>(png.begin(), png.begin() + 40)),
            nullptr);
}

// Rewrites the frame size in the first SOF marker of a JPEG.
std::vector<std::uint8_t> withFrameSize(std::vector<std::uint8_t> jpeg, int w, int h) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = std::uint8_t(h >> 8), jpeg[i + 6] = std::uint8_t(h);
      jpeg[i + 7] = std::uint8_t(w >> 8), jpeg[i + 8] = std::uint8_t(w);
      break;
    }
  }
  return jpeg;
}

TEST_F(BadInput, HugeDeclaredJpegIsRefusedFromItsHeader) {
  EXPECT_EQ(UIImage::initWithData(withFrameSize(jpeg, 65000, 65000)), nullptr);
  EXPECT_EQ(UIImage::initWithData(withFrameSize(jpeg, 65000, 1100)), nullptr);
  EXPECT_EQ(UIImage::initWithData(withFrameSize(jpeg, 0, 100)), nullptr);
  // Within the limit but far larger than its data: accepted, decoded to grey.
  const auto big = UIImage::initWithData(withFrameSize(jpeg, 4000, 3000));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(CGImageGetWidth(big->CGImage()), 4000u);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST_F(BadInput, HostileHeadersStayWithinABoundedAddressSpace) {
  // In a child process limited to 1 GiB of address space, every hostile input is
  // handled: an unbounded allocation would abort the child.
  const std::vector<std::vector<std::uint8_t>> hostile = {withFrameSize(jpeg, 65000, 65000),
                                                          withFrameSize(jpeg, 65535, 65535),
                                                          withFrameSize(jpeg, 9000, 7000)};
  const auto run = [&] {
    rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
    setrlimit(RLIMIT_AS, &limit);
    for (const auto& bytes : hostile) {
      const auto image = UIImage::initWithData(bytes);
      if (!image) continue;
      const auto canvas = CGBitmapContextCreate(64, 48, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                                kCGImageAlphaPremultipliedFirst);
      CGContextDrawImage(canvas, CGRectMake(0, 0, 64, 48), image->CGImage());
      UIImageJPEGRepresentation(UIImage::imageWithCGImage(CGBitmapContextCreateImage(canvas)), 0.5);
    }
    std::exit(0);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(ExifReader, ReadsBothByteOrders) {
  EXPECT_EQ(exifOrientationTag(exifOrientationSegment(6)), 6);
  const std::vector<std::uint8_t> little = {'E', 'x', 'i', 'f', 0, 0,    'I',  'I', 42, 0, 8,
                                            0,   0,   0,   1,   0, 0x12, 0x01, 3,   0,  1, 0,
                                            0,   0,   8,   0,   0, 0,    0,    0,   0,  0};
  EXPECT_EQ(exifOrientationTag(little), 8);
  EXPECT_EQ(exifOrientationTag({}), 0);
}

}  // namespace
}  // namespace platform::graphics
