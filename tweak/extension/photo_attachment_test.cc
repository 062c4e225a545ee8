#include "tweak/extension/photo_attachment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "tweak/image/fix_orientation.h"
#include "tweak/image/resize_category.h"

namespace tweak {
namespace {

using namespace platform::graphics;
using namespace platform::graphics::testing;
using platform::foundation::Bytes;

// A camera-sized picture whose sides are not multiples of the 16-pixel blocks:
// shading, grain, hard edges, and a different colour in each corner.
std::uint32_t scene(int x, int y) {
  if (x < 40 && y < 40) return 0xE02020FFu;
  if (x >= 2770 && y < 40) return 0x20E020FFu;
  if (x < 40 && y >= 1834) return 0x2020E0FFu;
  const int r = 128 + int(90 * std::sin(x * 0.021) * std::cos(y * 0.013));
  const int g = (x / 3 + y / 5) % 256;
  const int b = ((x / 61 + y / 47) % 2) ? 190 : 50 + (x * y) % 11;
  return (std::uint32_t(r) << 24) | (std::uint32_t(g) << 16) | (std::uint32_t(b) << 8) | 0xFF;
}

// Smooth shading with a little grain, as a photo has: what the codec's quality
// bound is about.
std::uint32_t smooth(int x, int y) {
  const int r = 128 + int(90 * std::sin(x * 0.004) * std::cos(y * 0.003));
  const int g = 40 + (x * 150) / 2810 + (x * y) % 5;
  const int b = 60 + int(60 * std::sin((x + 2 * y) * 0.002));
  return (std::uint32_t(r) << 24) | (std::uint32_t(g) << 16) | (std::uint32_t(b) << 8) | 0xFF;
}

const Bytes& storedPhoto(bool smoothPicture = false) {
  static const Bytes sharp = jpegWithApp1(makeImage(2810, 1874, scene), {});
  static const Bytes soft = jpegWithApp1(makeImage(2810, 1874, smooth), {});
  return smoothPicture ? soft : sharp;
}

// The photo with an EXIF orientation segment right after the start-of-image marker.
Bytes withExif(int exifOrientation, bool smoothPicture = false) {
  const auto payload = exifPayload(exifOrientation);
  const std::size_t length = payload.size() + 2;
  const Bytes& stored = storedPhoto(smoothPicture);
  Bytes out(stored.begin(), stored.begin() + 2);
  out.insert(out.end(), {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length & 0xFF)});
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), stored.begin() + 2, stored.end());
  return out;
}

// The photo path one step at a time: decode, turn upright, fit each file into its
// bound and encode it on its own.
AttachmentJpegs stepByStep(const Bytes& photo, CGSize previewBound) {
  const auto upright = fixOrientation(UIImage::initWithData(photo));
  auto full = UIImageJPEGRepresentation(
      resizedImageToFitInSize(upright, {kFullSizeBound, kFullSizeBound}, false), kFullSizeQuality);
  auto preview = UIImageJPEGRepresentation(resizedImageToFitInSize(upright, previewBound, false),
                                           kPreviewQuality);
  return {full.value_or(Bytes{}), preview.value_or(Bytes{})};
}

std::string sizeOf(const Bytes& jpeg) {
  const auto image = UIImage::initWithData(jpeg);
  if (!image) return "none";
  return std::to_string(image->CGImage()->width()) + "x" +
         std::to_string(image->CGImage()->height());
}

// Both files for the bytes of an image file, as an image made from them.
std::optional<AttachmentJpegs> attachmentFor(const Bytes& photo, CGSize previewBound) {
  return makeAttachmentJpegs(UIImage::initWithData(Bytes(photo)), previewBound);
}

class PhotoAttachment : public ::testing::TestWithParam<int> {};

// Both files of every orientation, on a phone's preview box: the same bytes as
// turning, fitting and encoding each file alone.
TEST_P(PhotoAttachment, BothFilesAreTheBytesOfTurningFittingAndEncodingOneByOne) {
  const int exif = GetParam();
  const bool quarterTurn = exif >= 5;
  const Bytes photo = withExif(exif);
  const CGSize phone{750, 1334};
  const auto fast = attachmentFor(photo, phone);
  ASSERT_TRUE(fast);
  const auto slow = stepByStep(photo, phone);
  EXPECT_EQ(sizeOf(fast->full), quarterTurn ? "853x1280" : "1280x853");
  EXPECT_EQ(sizeOf(fast->preview), quarterTurn ? "750x1124" : "750x500");
  EXPECT_TRUE(fast->full == slow.full) << fast->full.size() << " vs " << slow.full.size();
  EXPECT_TRUE(fast->preview == slow.preview)
      << fast->preview.size() << " vs " << slow.preview.size();
}

INSTANTIATE_TEST_SUITE_P(ExifOrientations, PhotoAttachment, ::testing::Range(1, 9),
                         [](const auto& info) { return "exif" + std::to_string(info.param); });

// Mean and largest channel difference of two decoded JPEGs of one size.
std::pair<double, int> difference(const Bytes& a, const Bytes& b) {
  const auto pa = readPixels(UIImage::initWithData(a)->CGImage());
  const auto pb = readPixels(UIImage::initWithData(b)->CGImage());
  double total = 0;
  int worst = 0;
  for (std::size_t i = 0; i < pa.size(); ++i) {
    for (int c = 0; c < 3; ++c) total += std::abs(channel(pa[i], c) - channel(pb[i], c));
    worst = std::max(worst, colourDistance(pa[i], pb[i]));
  }
  return {total / double(pa.size() * 3), worst};
}

TEST(PhotoAttachmentOnALargeScreen, FullFileFromTheFinerDecodeStaysWithinTheCodecBound) {
  // A preview box larger than 1280 needs the full decode, which one at a time the
  // preview alone gets; together both files come from it.
  const Bytes photo = withExif(6, true);
  const CGSize tablet{2048, 2732};
  const auto fast = attachmentFor(photo, tablet);
  ASSERT_TRUE(fast);
  const auto slow = stepByStep(photo, tablet);
  EXPECT_TRUE(fast->preview == slow.preview);
  ASSERT_EQ(sizeOf(fast->full), sizeOf(slow.full));
  const auto [mean, worst] = difference(fast->full, slow.full);
  EXPECT_LT(mean, 2.0);
  EXPECT_LE(worst, 16);
}

TEST(PhotoAttachmentOfDamagedData, NothingForBytesThatAreNoImage) {
  EXPECT_FALSE(attachmentFor(Bytes{}, {750, 1334}));
  EXPECT_FALSE(attachmentFor(Bytes{0xFF, 0xD8, 0xFF, 0xE0}, {750, 1334}));
}

}  // namespace
}  // namespace tweak
