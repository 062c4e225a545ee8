#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/foundation/child_process.h"
#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/graphics/cg_context.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"

namespace platform::graphics {
namespace {

using namespace testing;
using Results = std::vector<std::optional<foundation::Bytes>>;

struct Request {
  std::shared_ptr<UIImage> image;
  CGFloat quality = 1;
};

// Smooth shading with fine grain and a few hard edges: every resampling slip shows.
std::uint32_t scene(int x, int y) {
  const int r = 128 + int(90 * std::sin(x * 0.031) * std::cos(y * 0.017));
  const int g = (x * 7 + y * 3) % 256;
  const int b = ((x / 37 + y / 23) % 2) ? 200 : 40 + (x * y) % 9;
  return (std::uint32_t(r) << 24) | (std::uint32_t(g) << 16) | (std::uint32_t(b) << 8) | 0xFF;
}

std::vector<std::uint8_t> photoBytes(int w, int h, int exif = 0) {
  return jpegWithApp1(makeImage(w, h, scene),
                      exif ? exifPayload(exif) : std::vector<std::uint8_t>{});
}

// `image` drawn on a w × h canvas (y up) through `ctm` into `rect`, taken as an
// image: what turning and fitting a photo make.
std::shared_ptr<UIImage> drawn(const std::shared_ptr<UIImage>& image, int w, int h,
                               const CGAffineTransform& ctm, const CGRect& rect,
                               bool opaque = false) {
  const auto canvas = CGBitmapContextCreate(
      std::size_t(w), std::size_t(h), 8, 0, CGColorSpaceCreateDeviceRGB(),
      (opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst) |
          kCGBitmapByteOrder32Little);
  CGContextConcatCTM(canvas, ctm);
  CGContextDrawImage(canvas, rect, image->CGImage());
  return UIImage::imageWithCGImage(CGBitmapContextCreateImage(canvas));
}

// A W × H image turned a quarter turn (upright H × W), as a camera photo is made
// upright.
std::shared_ptr<UIImage> turned(const std::shared_ptr<UIImage>& image) {
  const int W = int(image->CGImage()->width()), H = int(image->CGImage()->height());
  return drawn(image, H, W, CGAffineTransformRotate(CGAffineTransformMakeTranslation(H, 0), M_PI_2),
               CGRectMake(0, 0, W, H), true);
}

std::shared_ptr<UIImage> scaled(const std::shared_ptr<UIImage>& image, int w, int h) {
  return drawn(image, w, h, CGAffineTransformIdentity, CGRectMake(0, 0, w, h));
}

// The requests' images encoded in order, after all of them were made: the first
// encode of a drawing renders every drawing of its JPEG that waits.
Results encodedInOrder(const std::vector<Request>& requests) {
  Results out;
  for (const auto& r : requests) out.push_back(UIImageJPEGRepresentation(r.image, r.quality));
  return out;
}

std::string describe(const Results& results) {
  std::string s;
  for (const auto& r : results) s += (r ? std::to_string(r->size()) : std::string("none")) + " ";
  return s;
}

// The requests made by `make` from a fresh decode of `bytes`, encoded in order
// after all were made, and one at a time from another decode: each made anew
// and the other drawings gone before its encode.
void expectSameBytes(const std::vector<std::uint8_t>& bytes,
                     const std::function<std::vector<Request>(std::shared_ptr<UIImage>)>& make) {
  const Results together = encodedInOrder(make(UIImage::initWithData(bytes)));
  const auto photo = UIImage::initWithData(bytes);
  Results alone;
  for (std::size_t i = 0; i < together.size(); ++i) {
    const Request only = make(photo)[i];
    alone.push_back(UIImageJPEGRepresentation(only.image, only.quality));
  }
  for (std::size_t i = 0; i < alone.size(); ++i) {
    EXPECT_TRUE(together[i] == alone[i])
        << "request " << i << ": together " << describe(together) << "alone " << describe(alone);
  }
}

// Alone, the first image decodes the JPEG and later ones reuse that decode when
// it is fine enough; together, every image is drawn from one decode at the finest
// scale any needs. With the finest first the two give the same bytes.
TEST(JpegRepresentation, DrawingsOfOneJpegGiveTheBytesOfEachAlone) {
  expectSameBytes(photoBytes(600, 440, 6), [](std::shared_ptr<UIImage> photo) {
    const auto upright = turned(photo);
    return std::vector<Request>{
        {photo, 0.9},                      // the decoded photo itself, EXIF kept
        {scaled(upright, 300, 409), 0.7},  // shrunk, partial last row
        {nullptr, 0.5},                    // nothing to encode
        {scaled(upright, 150, 240), 0.4},  // shrunk past the picture: a band below
        {scaled(photo, 900, 660), 0.8}};   // enlarged
  });
}

TEST(JpegRepresentation, RowsRunThroughTheRingManyTimesAndManyAtOnce) {
  // 1200 decoded rows pass through a ring of fewer than a hundred slots; the tiny
  // drawing reads about 17 rows of the 1/8 decode for each of its lines, taken from
  // the full decode here.
  expectSameBytes(photoBytes(1000, 1200), [](std::shared_ptr<UIImage> photo) {
    return std::vector<Request>{{scaled(photo, 990, 1190), 0.7},
                                {scaled(photo, 7, 9), 0.7},
                                {turned(scaled(photo, 333, 401)), 0.7}};
  });
}

TEST(JpegRepresentation, DamagedDataGivesTheBytesOfEachAlone) {
  const auto bytes = photoBytes(320, 240, 6);
  const auto twoFiles = [](std::shared_ptr<UIImage> photo) {
    const auto upright = turned(photo);
    return std::vector<Request>{{scaled(upright, 120, 160), 0.7}, {scaled(upright, 60, 80), 0.4}};
  };
  const std::vector<std::uint8_t> half(bytes.begin(), bytes.begin() + bytes.size() / 2);
  expectSameBytes(half, twoFiles);
  std::mt19937 random(7);
  for (int n = 0; n < 24; ++n) {
    auto damaged = bytes;
    for (int k = 0; k < 6; ++k)
      damaged[2 + random() % (damaged.size() - 2)] = std::uint8_t(random());
    if (UIImage::initWithData(damaged)) expectSameBytes(damaged, twoFiles);
  }
}

// The last pixel of `jpeg`, decoded.
std::uint32_t lastPixel(const std::optional<foundation::Bytes>& jpeg) {
  if (!jpeg) return 0;
  return readPixels(UIImage::initWithData(*jpeg)->CGImage()).back();
}

TEST(JpegRepresentation, RowsTheDataDoesNotHoldAreGrey) {
  auto bytes = photoBytes(320, 240, 6);
  bytes.resize(bytes.size() / 2);
  const auto image = UIImage::initWithData(bytes);
  const auto first = scaled(image, 160, 120), second = scaled(image, 80, 60);
  EXPECT_LE(colourDistance(lastPixel(UIImageJPEGRepresentation(first, 0.9)), 0x808080FFu), 4);
  EXPECT_LE(colourDistance(lastPixel(UIImageJPEGRepresentation(second, 0.9)), 0x808080FFu), 4);
}

// The share of `jpeg`'s pixels that are the grey of missing rows.
double greyShare(const std::optional<foundation::Bytes>& jpeg) {
  if (!jpeg) return 0;
  const auto pixels = readPixels(UIImage::initWithData(*jpeg)->CGImage());
  const auto grey = std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) {
    return colourDistance(p, 0x808080FFu) <= 4;
  });
  return double(grey) / double(pixels.size());
}

// The photo's file is cut short after the first encode, the preview's: the
// full-size picture was drawn by it, from the finer decode it needs, and keeps the
// whole photo, while the upright picture both were drawn from, an intermediate
// step, was not drawn and decodes the cut file.
TEST(JpegRepresentation, TheFirstEncodeDrawsEveryWaitingDrawingButNotTheirSteps) {
  foundation::testing::ScratchFolder folder;
  const auto bytes = photoBytes(640, 480, 6);
  const auto path = folder / "photo.jpg";
  ASSERT_TRUE(foundation::writeFileAtomically(path, bytes));
  // One at a time, the finest first: the preview reuses the full-size file's decode.
  const auto uprightOfBytes = turned(UIImage::initWithData(bytes));
  const auto fullAlone = UIImageJPEGRepresentation(scaled(uprightOfBytes, 240, 320), 0.7);
  const auto previewAlone = UIImageJPEGRepresentation(scaled(uprightOfBytes, 120, 160), 0.4);

  const auto upright =
      turned(UIImage::initWithContentsOfFile(foundation::ReadOnlyFile::open(path)));
  const auto full = scaled(upright, 240, 320), preview = scaled(upright, 120, 160);
  EXPECT_TRUE(UIImageJPEGRepresentation(preview, 0.4) == previewAlone);
  std::filesystem::resize_file(path, bytes.size() / 3);
  EXPECT_TRUE(UIImageJPEGRepresentation(full, 0.7) == fullAlone);
  EXPECT_GT(greyShare(UIImageJPEGRepresentation(upright, 0.9)), 0.3);
  EXPECT_LT(greyShare(fullAlone), 0.01);
}

bool cairoLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libcairo") != std::string::npos) return true;
  }
  return false;
}

// What a fresh process loads: 0 when a quarter-turned photo's two files leave
// cairo unloaded and a tilted drawing loads it, 1 or 2 when either fails.
int cairoLoadsInAFreshProcess() {
  const auto photo = UIImage::initWithData(photoBytes(64, 48, 6));
  const auto upright = turned(photo);
  const auto full = scaled(upright, 24, 32), preview = scaled(upright, 12, 16);
  UIImageJPEGRepresentation(full, 0.7);
  UIImageJPEGRepresentation(preview, 0.4);
  if (cairoLoaded()) return 1;
  const auto tilted =
      drawn(photo, 80, 80, CGAffineTransformMakeRotation(0.3), CGRectMake(10, 0, 64, 48));
  tilted->CGImage()->copyData();
  return cairoLoaded() ? 0 : 2;
}

constexpr const char* kFreshProcess = "PXVIBER_CAIRO_FRESH_PROCESS";

// The check runs in a new process of this program (earlier tests here may have
// loaded cairo already), started through the build's emulator in a cross build:
// a death test's re-execution of the program would not go through it.
TEST(CairoModule, LoadedOnlyForTurnsThatAreNotQuarterTurns) {
  if (std::getenv(kFreshProcess)) std::_Exit(cairoLoadsInAFreshProcess());
  foundation::DeviceSettings here;
  here.emulator = foundation::buildEmulator();
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  foundation::ChildSpec child;
  child.arguments = foundation::programCommand(
      here, self, {"--gtest_filter=CairoModule.LoadedOnlyForTurnsThatAreNotQuarterTurns"});
  child.environment = {{kFreshProcess, "1"}};
  const int pid = foundation::startChild(child);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: loaded for a quarter turn, 2: not loaded for a tilt";
}

}  // namespace
}  // namespace platform::graphics
