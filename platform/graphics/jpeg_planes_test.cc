#include "platform/graphics/jpeg_planes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/graphics/codecs.h"

namespace platform::graphics {
namespace {

// Random premultiplied pixel words, some of them transparent or translucent.
Raster randomPicture(int w, int h, unsigned seed) {
  Raster raster(w, h);
  std::mt19937 random(seed);
  for (auto& p : raster.pixels) {
    const std::uint32_t a = (random() % 4 == 0) ? random() % 256 : 255;
    const auto c = [&] { return std::uint32_t(random() % (a + 1)); };
    p = (a << 24) | (c() << 16) | (c() << 8) | c();
  }
  return raster;
}

// The planes of `picture`, drawn line by line: rows top down, or columns from the
// right, each in two pieces.
JpegPlanes planesOf(const Raster& picture, bool columns) {
  JpegPlanes planes(picture.width, picture.height, columns);
  const int lines = columns ? picture.width : picture.height;
  const int length = columns ? picture.height : picture.width;
  for (int n = 0; n < lines; ++n) {
    const int fixed = columns ? lines - 1 - n : n;
    std::vector<std::uint32_t> words(static_cast<std::size_t>(length));
    for (int k = 0; k < length; ++k) {
      words[std::size_t(k)] = columns ? picture.row(k)[fixed] : picture.row(fixed)[k];
    }
    const int split = length / 3;
    planes.line(fixed, 0, words.data(), split);
    planes.line(fixed, split, words.data() + split, length - split);
  }
  return planes;
}

// Sizes with every parity and every remainder the encoder pads: luma to blocks of
// 8, chroma to blocks of 8 of the half size, rows to the 16-row iMCU.
TEST(JpegPlanes, EncodeToTheBytesOfTheEncodersOwnConversion) {
  const std::pair<int, int> sizes[] = {{1, 1},   {2, 3},   {7, 5},  {16, 16}, {17, 33},
                                       {33, 17}, {40, 31}, {9, 47}, {31, 2}};
  unsigned seed = 1;
  for (const auto& [w, h] : sizes) {
    const Raster picture = randomPicture(w, h, seed++);
    const RasterSource words(std::make_shared<Raster>(picture), false);
    const auto expected = encodeJpeg(words, 75, 1);
    ASSERT_FALSE(expected.empty());
    for (bool columns : {false, true}) {
      const auto planes = encodeJpeg(planesOf(picture, columns), 75, 1);
      EXPECT_TRUE(planes == expected) << w << "x" << h << (columns ? " by columns" : " by rows");
    }
  }
}

TEST(JpegPlanes, StartBlack) {
  const Raster black(13, 7, 0);
  const RasterSource words(std::make_shared<Raster>(black), false);
  EXPECT_TRUE(encodeJpeg(JpegPlanes(13, 7, true), 50, 6) == encodeJpeg(words, 50, 6));
}

}  // namespace
}  // namespace platform::graphics
