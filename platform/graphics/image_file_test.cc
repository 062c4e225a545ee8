#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/foundation/file_io.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/testing/png_fixture.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics {
namespace {

using namespace testing;
using foundation::ReadOnlyFile;

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A JPEG of noise at quality 0.95 (so that it runs over several of the reader's
// buffers), with EXIF orientation 6 and `padding` APP2 segments of 60000 bytes
// before the image data, which the decoder skips rather than reads (one of them
// across the end of a buffer).
std::vector<std::uint8_t> largeJpeg(int padding) {
  std::mt19937 random(7);
  std::vector<std::uint32_t> noise(960 * 720);
  for (auto& p : noise) p = std::uint32_t(random()) | 0xFF;
  auto bytes = jpegWithApp1(
      makeImage(960, 720, [&](int x, int y) { return noise[std::size_t(y * 960 + x)]; }),
      exifPayload(6));
  // Their payload is end-of-image markers: read rather than skipped, it ends the
  // image before its header.
  std::vector<std::uint8_t> segment = {0xFF, 0xE2, 60000 >> 8, 60000 & 0xFF};
  for (std::size_t i = 4; i < 60000 + 2; i += 2) segment.insert(segment.end(), {0xFF, 0xD9});
  for (int i = 0; i < padding; ++i) bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
  return bytes;
}

std::shared_ptr<UIImage> imageOfFile(const std::filesystem::path& path) {
  return UIImage::initWithContentsOfFile(ReadOnlyFile::open(path));
}

TEST(ImageFile, GivesTheImageOfItsBytesJpegAndPng) {
  foundation::testing::ScratchFolder folder;
  for (int padding : {0, 6}) {
    const auto jpeg = largeJpeg(padding);
    ASSERT_GT(jpeg.size(), std::size_t(600) << 10);  // several buffers' worth
    writeBytes(folder / "photo.jpg", jpeg);
    const auto fromFile = imageOfFile(folder / "photo.jpg");
    const auto fromBytes = UIImage::initWithData(jpeg);
    ASSERT_NE(fromFile, nullptr);
    ASSERT_NE(fromBytes, nullptr);
    EXPECT_EQ(fromFile->imageOrientation(), UIImageOrientationRight);
    EXPECT_EQ(readPixels(fromFile->CGImage()), readPixels(fromBytes->CGImage())) << padding;
  }
  const auto png = encodePng(40, 30, [](int x, int y) {
    return std::uint32_t(x * 6) << 24 | std::uint32_t(y * 8) << 16 | 0x40FF;
  });
  writeBytes(folder / "picture.png", png);
  const auto pngImage = imageOfFile(folder / "picture.png");
  ASSERT_NE(pngImage, nullptr);
  EXPECT_EQ(readPixels(pngImage->CGImage()), readPixels(UIImage::initWithData(png)->CGImage()));
}

// The file is read as the image is decoded, after it was opened: a file cut short
// meanwhile (by whatever else writes it) decodes as its cut bytes do, grey where the
// data ends, and the process goes on.
TEST(ImageFile, AFileCutShortAfterOpeningDecodesAsTheCutBytes) {
  foundation::testing::ScratchFolder folder;
  const auto jpeg = largeJpeg(0);
  const std::size_t keep = jpeg.size() / 2;
  writeBytes(folder / "photo.jpg", jpeg);
  const auto image = imageOfFile(folder / "photo.jpg");
  ASSERT_NE(image, nullptr);
  std::filesystem::resize_file(folder / "photo.jpg", keep);
  const auto cut = UIImage::initWithData(
      std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(keep)));
  ASSERT_NE(cut, nullptr);
  const auto pixels = readPixels(image->CGImage());
  EXPECT_EQ(pixels, readPixels(cut->CGImage()));
  EXPECT_LE(colourDistance(pixels.back(), 0x808080FFu), 2);
}

TEST(ImageFile, MissingFoldersTooLargeAndNonImageFilesGiveNothing) {
  foundation::testing::ScratchFolder folder;
  EXPECT_EQ(ReadOnlyFile::open(folder / "missing.jpg"), nullptr);
  EXPECT_EQ(ReadOnlyFile::open(folder.path()), nullptr);
  EXPECT_EQ(UIImage::initWithContentsOfFile(nullptr), nullptr);
  writeBytes(folder / "text.jpg", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  EXPECT_EQ(imageOfFile(folder / "text.jpg"), nullptr);
  writeBytes(folder / "empty.jpg", {});
  EXPECT_EQ(imageOfFile(folder / "empty.jpg"), nullptr);
  EXPECT_EQ(ReadOnlyFile::open(folder / "text.jpg", 11), nullptr);
  const auto file = ReadOnlyFile::open(folder / "text.jpg", 12);
  ASSERT_NE(file, nullptr);
  std::uint8_t out[8] = {};
  EXPECT_EQ(file->readAt(8, out), 4u);
  EXPECT_EQ(file->readAt(12, out), 0u);
  EXPECT_EQ(file->readAt(std::uint64_t(1) << 40, out), 0u);
}

}  // namespace
}  // namespace platform::graphics
