// JPEG encoding with libjpeg-turbo's libjpeg interface, which writes row by row: the
// encoder pulls rows from a drawing band by band, so an image kept as a drawing is
// encoded without ever holding its full bitmap, and reads a bitmap of B, G, R bytes
// in place.
#include <algorithm>
#include <cstring>

#include "platform/graphics/codecs.h"
#include "platform/graphics/jpeg_common.h"

namespace platform::graphics {
namespace {

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

// Where the encoder's rows come from: a pixel source read band by band into `band`
// (pixel words, premultiplied colour, so transparent is black), or a raster of B, G,
// R bytes read in place.
struct EncodeInput {
  int width = 0;
  int height = 0;
  const PixelSource* source = nullptr;
  std::uint32_t* band = nullptr;
  const Raster* bgr = nullptr;
  int bandRows = 16;
  JSAMPROW* lines = nullptr;
};

// Points input.lines at rows [y, y + n).
void fetchRows(const EncodeInput& in, int y, int n) {
  if (in.bgr) {
    for (int i = 0; i < n; ++i) {
      in.lines[i] =
          const_cast<JSAMPROW>(in.bgr->bytes() + std::ptrdiff_t(y + i) * in.bgr->rowBytes());
    }
    return;
  }
  in.source->readRows(y, y + n, in.band);
  for (int i = 0; i < n; ++i) {
    in.lines[i] = reinterpret_cast<JSAMPROW>(in.band + std::size_t(i) * std::size_t(in.width));
  }
}

bool encodeInto(const EncodeInput& in, int quality, const std::vector<std::uint8_t>& exif,
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
  cinfo.image_width = JDIMENSION(in.width);
  cinfo.image_height = JDIMENSION(in.height);
  cinfo.input_components = in.bgr ? 3 : 4;
  cinfo.in_color_space = in.bgr ? JCS_EXT_BGR : JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!exif.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned int>(exif.size()));
  }
  for (int y = 0; y < in.height; y += in.bandRows) {
    const int n = std::min(in.bandRows, in.height - y);
    fetchRows(in, y, n);
    jpeg_write_scanlines(&cinfo, in.lines, JDIMENSION(n));
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

std::vector<std::uint8_t> encode(EncodeInput in, int quality, int exifOrientation) {
  std::vector<std::uint8_t> out;
  std::vector<JSAMPROW> lines(static_cast<std::size_t>(in.bandRows));
  in.lines = lines.data();
  std::vector<std::uint8_t> exif;
  if (exifOrientation >= 2 && exifOrientation <= 8) exif = exifOrientationSegment(exifOrientation);
  if (!encodeInto(in, std::clamp(quality, 1, 100), exif, &out)) out.clear();
  return out;
}

}  // namespace

std::vector<std::uint8_t> encodeJpeg(const PixelSource& source, int quality, int exifOrientation) {
  EncodeInput in;
  in.width = source.width();
  in.height = source.height();
  in.source = &source;
  in.bandRows = encodeBandRows(source.width());
  std::vector<std::uint32_t> band(std::size_t(in.width) * std::size_t(in.bandRows));
  in.band = band.data();
  return encode(in, quality, exifOrientation);
}

std::vector<std::uint8_t> encodeJpeg(const Raster& bgr, int quality, int exifOrientation) {
  if (bgr.bytesPerPixel != 3) return {};
  EncodeInput in;
  in.width = bgr.width;
  in.height = bgr.height;
  in.bgr = &bgr;
  in.bandRows = 16;
  return encode(in, quality, exifOrientation);
}

}  // namespace platform::graphics
