// JPEG decoding with libjpeg-turbo's libjpeg interface.
//
// The libjpeg interface (rather than the TurboJPEG one) is used because it reads row
// by row and scales by any n/8 while decoding: a photo can be decoded at the size a
// drawing needs, and its rows handed on as they come instead of held whole.
#include <algorithm>
#include <cstring>

#include "platform/graphics/cg_image.h"
#include "platform/graphics/codecs.h"
#include "platform/graphics/jpeg_common.h"
#include "platform/graphics/jpeg_input.h"
#include "platform/graphics/jpeg_source.h"

namespace platform::graphics {
namespace {

// A progressive JPEG can hold any number of scans, each a pass over the whole
// image; a few hundred bytes can declare thousands. No encoder writes more than a
// few dozen.
constexpr int kMaxScans = 500;
// Working memory libjpeg may take (a progressive image keeps all its coefficients):
// 1.5 times what the largest allowed image needs at 4:4:4.
constexpr long kMaxDecoderMemory = long(kMaxImagePixels) * 3 * 2 * 3 / 2;

void limitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->error_exit(cinfo);
  }
}

struct HeaderInfo {
  int width = 0;
  int height = 0;
  bool cmyk = false;
};

bool isCmyk(const jpeg_decompress_struct& cinfo) {
  return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Reads the header; copies the first "Exif" APP1 payload into `exif`. False when
// the header cannot be read.
bool readHeader(const JpegInput& input, HeaderInfo* info, std::vector<std::uint8_t>* exif) {
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorJump err;
  cinfo.err = &err.pub;
  installErrorJump(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
  input.attachTo(&cinfo);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  info->width = int(cinfo.image_width);
  info->height = int(cinfo.image_height);
  info->cmyk = isCmyk(cinfo);
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
        std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      exif->assign(m->data, m->data + m->data_length);
      break;
    }
  }
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Converts a row of Adobe's inverted CMYK to B, G, R bytes.
void cmykToRgb(const std::uint8_t* cmyk, int count, std::uint8_t* bgr) {
  for (int i = 0; i < count; ++i, cmyk += 4, bgr += 3) {
    const std::uint32_t k = cmyk[3];
    bgr[0] = std::uint8_t(cmyk[2] * k / 255);
    bgr[1] = std::uint8_t(cmyk[1] * k / 255);
    bgr[2] = std::uint8_t(cmyk[0] * k / 255);
  }
}

// Decodes at scale num/8 into `sink`. `scratch` holds eight CMYK rows of the widest
// possible output (null for other colour spaces). Answers the rows decoded.
int decodeInto(const JpegInput& input, int num, std::uint8_t* scratch, RowSink* sink) {
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorJump err;
  jpeg_progress_mgr progress;
  volatile int rows = 0;
  cinfo.err = &err.pub;
  installErrorJump(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return rows;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
  progress.progress_monitor = limitScans;
  cinfo.progress = &progress;
  input.attachTo(&cinfo);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = static_cast<unsigned int>(num);
  cinfo.scale_denom = 8;
  const bool cmyk = isCmyk(cinfo);
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_calc_output_dimensions(&cinfo);
  const int width = int(cinfo.output_width), height = int(cinfo.output_height);
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  if (pixels == 0 || pixels > kMaxImagePixels || (cmyk && !scratch) ||
      !sink->begin(width, height)) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  jpeg_start_decompress(&cinfo);
  while (int(cinfo.output_scanline) < height) {
    JSAMPROW lines[8];
    const int first = int(cinfo.output_scanline);
    const int want = std::min(8, height - first);
    for (int i = 0; i < want; ++i) {
      // CMYK rows (four bytes a pixel) go through the scratch rows first.
      lines[i] = cmyk ? scratch + std::size_t(i) * std::size_t(width) * 4 : sink->row(first + i);
    }
    const int got = int(jpeg_read_scanlines(&cinfo, lines, JDIMENSION(want)));
    if (got == 0) break;
    for (int i = 0; cmyk && i < got; ++i) cmykToRgb(lines[i], width, sink->row(first + i));
    rows = rows + got;
    sink->decoded(rows);
  }
  // The rest of the file (trailing markers, damage after the last row) is not read.
  jpeg_destroy_decompress(&cinfo);
  return rows;
}

// The smallest n (of n/8) whose decoded size is at least `scale` of `length`. Only
// 1, 2 and 4 are tried below 8: libjpeg-turbo has SIMD code for those reduced
// transforms, which makes 1/2 faster to decode than 3/8 though it gives more pixels.
int numeratorForLength(double scale, int length) {
  for (int num = 1; num < 8; num *= 2) {
    const double decoded = double((std::int64_t(length) * num + 7) / 8);
    if (decoded >= length * scale - 1e-6) return num;
  }
  return 8;
}

// Decoded rows straight into a raster.
class RasterSink final : public RowSink {
 public:
  bool begin(int width, int height) override {
    raster = Raster::rgb(width, height, kMissingRowGrey);
    return true;
  }
  std::uint8_t* row(int y) override {
    return raster.bytes() + std::ptrdiff_t(y) * raster.rowBytes();
  }
  void decoded(int) override {}
  // Rows from `rows` on show grey: a decode stopped by damaged data may have
  // written part of the rows it was decoding when it stopped.
  void greyFrom(int rows) {
    const int first = std::max(rows, 0);
    if (raster.pixels.empty() || first >= raster.height) return;
    std::memset(row(first), kMissingRowGrey,
                std::size_t(raster.height - first) * std::size_t(raster.rowBytes()));
  }

  Raster raster;
};

}  // namespace

JpegSource::JpegSource(JpegInput input, int width, int height, bool cmyk)
    : PixelSource(width, height), input_(std::move(input)), cmyk_(cmyk) {}

void JpegSource::readRows(int y0, int y1, std::uint32_t* out) const {
  rasterForScale(1, 1)->copyRows(y0, y1, out);
}

int JpegSource::numeratorFor(CGSize resolution) const {
  return std::max(numeratorForLength(resolution.width, width()),
                  numeratorForLength(resolution.height, height()));
}

int JpegSource::scaledWidth(int num) const { return int((std::int64_t(width()) * num + 7) / 8); }
int JpegSource::scaledHeight(int num) const { return int((std::int64_t(height()) * num + 7) / 8); }

int JpegSource::decode(int num, RowSink& sink) const {
  std::vector<std::uint8_t> scratch;
  if (cmyk_) scratch.resize(std::size_t(width()) * 4 * 8);
  return decodeInto(input_, num, scratch.empty() ? nullptr : scratch.data(), &sink);
}

// The photo path draws the same JPEG twice at different sizes, and decoding the
// entropy-coded data is most of the cost whatever the scale: the pixels are kept. A
// later request for more resolution decodes again and replaces them.
std::shared_ptr<const Raster> JpegSource::rasterForScale(double sx, double sy) const {
  const int num = numeratorFor({sx, sy});
  std::lock_guard lock(mutex_);
  if (decoded_ && decodedNum_ >= num) return decoded_;
  RasterSink sink;
  sink.greyFrom(decode(num, sink));
  auto raster = std::make_shared<Raster>(std::move(sink.raster));
  if (raster->pixels.empty()) {
    // Not decodable at all after a readable header: show the declared size in grey.
    *raster = Raster::rgb(scaledWidth(num), scaledHeight(num), kMissingRowGrey);
  }
  decoded_ = std::move(raster);
  decodedNum_ = num;
  return decoded_;
}

bool looksLikeJpeg(std::span<const std::uint8_t> data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

namespace {

OpenedJpeg openJpeg(JpegInput input) {
  HeaderInfo info;
  std::vector<std::uint8_t> exif;
  if (!looksLikeJpeg(input.head(3)) || !readHeader(input, &info, &exif)) return {};
  const std::uint64_t pixels = std::uint64_t(info.width) * std::uint64_t(info.height);
  if (pixels == 0 || pixels > kMaxImagePixels) return {};
  OpenedJpeg opened;
  opened.exifOrientation = exif.empty() ? 0 : exifOrientationTag(exif);
  opened.source =
      std::make_shared<JpegSource>(std::move(input), info.width, info.height, info.cmyk);
  return opened;
}

}  // namespace

OpenedJpeg openJpeg(std::vector<std::uint8_t> data) { return openJpeg(JpegInput(std::move(data))); }

OpenedJpeg openJpeg(std::shared_ptr<const foundation::ReadOnlyFile> file) {
  if (!file) return {};
  return openJpeg(JpegInput(std::move(file)));
}

}  // namespace platform::graphics
