// JPEG decoding and encoding with libjpeg-turbo's libjpeg interface.
//
// The libjpeg interface (rather than the TurboJPEG one) is used because it reads and
// writes row by row: the encoder pulls rows from a drawing band by band, so an image
// kept as a drawing is encoded without ever holding its full bitmap, and the decoder
// can scale by any n/8 while decoding.
//
// libjpeg reports fatal errors through error_exit, which here jumps back with
// longjmp. The functions that call setjmp keep only plain C locals, and no C++ object
// with a destructor lives in a frame that a jump crosses.
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <mutex>

#include "platform/graphics/cg_image.h"
#include "platform/graphics/codecs.h"

namespace platform::graphics {
namespace {

// A progressive JPEG can hold any number of scans, each a pass over the whole
// image; a few hundred bytes can declare thousands. No encoder writes more than a
// few dozen.
constexpr int kMaxScans = 500;
// Working memory libjpeg may take (a progressive image keeps all its coefficients):
// 1.5 times what the largest allowed image needs at 4:4:4.
constexpr long kMaxDecoderMemory = long(kMaxImagePixels) * 3 * 2 * 3 / 2;

struct ErrorJump {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void jumpOnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}
void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

void limitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->error_exit(cinfo);
  }
}

void installErrorJump(ErrorJump& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = jumpOnError;
  err.pub.emit_message = ignoreMessage;
  err.pub.output_message = ignoreOutput;
}

struct HeaderInfo {
  int width = 0;
  int height = 0;
  bool cmyk = false;
};

// Reads the header; copies the first "Exif" APP1 payload into `exif`. False when
// the header cannot be read.
bool readHeader(const std::uint8_t* data, std::size_t size, HeaderInfo* info,
                std::vector<std::uint8_t>* exif) {
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
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  info->width = int(cinfo.image_width);
  info->height = int(cinfo.image_height);
  info->cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
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

// Decodes at scale num/8 into `raster` (sized here as three bytes a pixel, prefilled
// with grey so that rows a damaged file does not deliver show grey). `scratch` holds
// eight CMYK rows of the widest possible output. Answers the rows decoded.
int decodeScaled(const std::uint8_t* data, std::size_t size, int num, Raster* raster,
                 std::uint8_t* scratch) {
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
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = static_cast<unsigned int>(num);
  cinfo.scale_denom = 8;
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_calc_output_dimensions(&cinfo);
  const std::uint64_t pixels = std::uint64_t(cinfo.output_width) * cinfo.output_height;
  if (pixels == 0 || pixels > kMaxImagePixels || (cmyk && !scratch)) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  *raster = Raster::rgb(int(cinfo.output_width), int(cinfo.output_height), 0x80);
  jpeg_start_decompress(&cinfo);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW lines[8];
    const int want = std::min<int>(8, int(cinfo.output_height - cinfo.output_scanline));
    const int first = int(cinfo.output_scanline);
    for (int i = 0; i < want; ++i) {
      // CMYK rows (four bytes a pixel) go through the scratch row first.
      lines[i] = cmyk ? scratch + std::size_t(i) * raster->width * 4
                      : raster->bytes() + std::ptrdiff_t(first + i) * raster->rowBytes();
    }
    const int got = int(jpeg_read_scanlines(&cinfo, lines, JDIMENSION(want)));
    if (got == 0) break;
    if (cmyk) {
      for (int i = 0; i < got; ++i) {
        cmykToRgb(lines[i], raster->width,
                  raster->bytes() + std::ptrdiff_t(first + i) * raster->rowBytes());
      }
    }
    rows = rows + got;
  }
  // The rest of the file (trailing markers, damage after the last row) is not read.
  jpeg_destroy_decompress(&cinfo);
  return rows;
}

// The smallest n (of n/8) whose decoded size is at least `scale` of `length`. Only
// 1, 2 and 4 are tried below 8: libjpeg-turbo has SIMD code for those reduced
// transforms, which makes 1/2 faster to decode than 3/8 though it gives more pixels.
int numeratorFor(double scale, int length) {
  for (int num = 1; num < 8; num *= 2) {
    const double decoded = std::ceil(double(length) * num / 8);
    if (decoded >= length * scale - 1e-6) return num;
  }
  return 8;
}

class JpegSource final : public PixelSource {
 public:
  JpegSource(std::vector<std::uint8_t> bytes, int width, int height, bool cmyk)
      : PixelSource(width, height), bytes_(std::move(bytes)), cmyk_(cmyk) {}

  bool opaque() const override { return true; }

  void readRows(int y0, int y1, std::uint32_t* out) const override {
    rasterForScale(1, 1)->copyRows(y0, y1, out);
  }

 protected:
  // Decodes once, at the scale asked for, and keeps the result: the photo path draws
  // the same JPEG twice at different sizes, and decoding the entropy-coded data is
  // most of the cost whatever the scale. A later request for more resolution decodes
  // again and replaces the kept pixels.
  std::shared_ptr<const Raster> rasterForScale(double sx, double sy) const override {
    const int num = std::max(numeratorFor(sx, width()), numeratorFor(sy, height()));
    std::lock_guard lock(mutex_);
    if (decoded_ && decodedNum_ >= num) return decoded_;
    auto raster = std::make_shared<Raster>();
    std::vector<std::uint8_t> scratch;
    if (cmyk_) scratch.resize(std::size_t(width()) * 4 * 8);
    decodeScaled(bytes_.data(), bytes_.size(), num, raster.get(),
                 scratch.empty() ? nullptr : scratch.data());
    if (raster->pixels.empty()) {
      // Not decodable at all after a readable header: show the declared size in grey.
      const int w = int(std::ceil(double(width()) * num / 8));
      const int h = int(std::ceil(double(height()) * num / 8));
      *raster = Raster::rgb(w, h, 0x80);
    }
    decoded_ = std::move(raster);
    decodedNum_ = num;
    return decoded_;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  bool cmyk_;
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const Raster> decoded_;
  mutable int decodedNum_ = 0;
};

// libjpeg destination writing into a growing byte vector.
struct VectorDestination {
  jpeg_destination_mgr pub;
  std::vector<std::uint8_t>* out;
};

void startOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->resize(64 * 1024);
  d->pub.next_output_byte = d->out->data();
  d->pub.free_in_buffer = d->out->size();
}

boolean growOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const std::size_t used = d->out->size();
  d->out->resize(used * 2);
  d->pub.next_output_byte = d->out->data() + used;
  d->pub.free_in_buffer = d->out->size() - used;
  return TRUE;
}

void finishOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

// Rows pulled from the source per call: a multiple of the 16-row MCU, as many as fit
// in about 512 KiB. A drawing renders each band separately, and a quarter turn reads
// a strip of every source row per band, so fewer, taller bands cost less.
int encodeBandRows(int width) {
  const int rows = (512 * 1024) / std::max(1, width * 4);
  return std::clamp(rows / 16 * 16, 16, 256);
}

bool encodeInto(const PixelSource& source, int quality, const std::vector<std::uint8_t>& exif,
                std::uint32_t* band, int bandRows, JSAMPROW* lines,
                std::vector<std::uint8_t>* out) {
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorJump err;
  VectorDestination dest;
  cinfo.err = &err.pub;
  installErrorJump(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  dest.out = out;
  dest.pub.init_destination = startOutput;
  dest.pub.empty_output_buffer = growOutput;
  dest.pub.term_destination = finishOutput;
  cinfo.dest = &dest.pub;
  cinfo.image_width = JDIMENSION(source.width());
  cinfo.image_height = JDIMENSION(source.height());
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;  // premultiplied colour: transparent is black
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!exif.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned int>(exif.size()));
  }
  const int width = source.width();
  const int height = source.height();
  for (int y = 0; y < height; y += bandRows) {
    const int n = std::min(bandRows, height - y);
    source.readRows(y, y + n, band);
    for (int i = 0; i < n; ++i) {
      lines[i] = reinterpret_cast<JSAMPROW>(band + std::size_t(i) * std::size_t(width));
    }
    jpeg_write_scanlines(&cinfo, lines, JDIMENSION(n));
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool looksLikeJpeg(std::span<const std::uint8_t> data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

OpenedJpeg openJpeg(std::vector<std::uint8_t> data) {
  HeaderInfo info;
  std::vector<std::uint8_t> exif;
  if (!looksLikeJpeg(data) || !readHeader(data.data(), data.size(), &info, &exif)) return {};
  const std::uint64_t pixels = std::uint64_t(info.width) * std::uint64_t(info.height);
  if (pixels == 0 || pixels > kMaxImagePixels) return {};
  OpenedJpeg opened;
  opened.exifOrientation = exif.empty() ? 0 : exifOrientationTag(exif);
  opened.source = std::make_shared<JpegSource>(std::move(data), info.width, info.height, info.cmyk);
  return opened;
}

std::vector<std::uint8_t> encodeJpeg(const PixelSource& source, int quality, int exifOrientation) {
  std::vector<std::uint8_t> out;
  const int bandRows = encodeBandRows(source.width());
  std::vector<std::uint32_t> band(std::size_t(source.width()) * std::size_t(bandRows));
  std::vector<JSAMPROW> lines(static_cast<std::size_t>(bandRows));
  std::vector<std::uint8_t> exif;
  if (exifOrientation >= 2 && exifOrientation <= 8) exif = exifOrientationSegment(exifOrientation);
  if (!encodeInto(source, std::clamp(quality, 1, 100), exif, band.data(), bandRows, lines.data(),
                  &out))
    out.clear();
  return out;
}

}  // namespace platform::graphics
