// JPEG encoding with libjpeg-turbo's libjpeg interface, which writes row by row: the
// encoder pulls rows from a drawing band by band, so an image kept as a drawing is
// encoded without ever holding its full bitmap; and it takes samples already in its
// own colour space and chroma layout (raw data), which JpegPlanes holds.
#include <algorithm>
#include <cstring>

#include "platform/graphics/codecs.h"
#include "platform/graphics/jpeg_common.h"
#include "platform/graphics/jpeg_planes.h"

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
// (pixel words, premultiplied colour, so transparent is black), or planes of Y, Cb
// and Cr samples copied an iMCU row at a time into `y`, `cb` and `cr`.
struct EncodeInput {
  int width = 0;
  int height = 0;
  const PixelSource* source = nullptr;
  std::uint32_t* band = nullptr;
  int bandRows = 16;
  JSAMPROW* lines = nullptr;
  const JpegPlanes* planes = nullptr;
  std::uint8_t* y = nullptr;   // 16 rows of planes->lumaStride() bytes
  std::uint8_t* cb = nullptr;  // 8 rows of planes->chromaStride() bytes
  std::uint8_t* cr = nullptr;
};

// Points input.lines at rows [y, y + n) of the pixel source.
void fetchRows(const EncodeInput& in, int y, int n) {
  in.source->readRows(y, y + n, in.band);
  for (int i = 0; i < n; ++i) {
    in.lines[i] = reinterpret_cast<JSAMPROW>(in.band + std::size_t(i) * std::size_t(in.width));
  }
}

void writeSourceRows(j_compress_ptr cinfo, const EncodeInput& in) {
  for (int y = 0; y < in.height; y += in.bandRows) {
    const int n = std::min(in.bandRows, in.height - y);
    fetchRows(in, y, n);
    jpeg_write_scanlines(cinfo, in.lines, JDIMENSION(n));
  }
}

void writePlanes(j_compress_ptr cinfo, const EncodeInput& in) {
  JSAMPROW y[16], cb[8], cr[8];
  for (int r = 0; r < 16; ++r) y[r] = in.y + std::ptrdiff_t(r) * in.planes->lumaStride();
  for (int r = 0; r < 8; ++r) {
    cb[r] = in.cb + std::ptrdiff_t(r) * in.planes->chromaStride();
    cr[r] = in.cr + std::ptrdiff_t(r) * in.planes->chromaStride();
  }
  JSAMPARRAY components[3] = {y, cb, cr};
  for (int m = 0; m < in.planes->imcuRows(); ++m) {
    in.planes->imcuRow(m, in.y, in.cb, in.cr);
    jpeg_write_raw_data(cinfo, components, 16);
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
  cinfo.input_components = in.planes ? 3 : 4;
  cinfo.in_color_space = in.planes ? JCS_RGB : JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // The planes hold YCbCr at the default sampling (2 × 2, 1 × 1, 1 × 1).
  if (in.planes) cinfo.raw_data_in = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  if (!exif.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned int>(exif.size()));
  }
  if (in.planes) {
    writePlanes(&cinfo, in);
  } else {
    writeSourceRows(&cinfo, in);
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

std::vector<std::uint8_t> encodeJpeg(const JpegPlanes& planes, int quality, int exifOrientation) {
  EncodeInput in;
  in.width = planes.width();
  in.height = planes.height();
  in.planes = &planes;
  std::vector<std::uint8_t> rows(std::size_t(planes.lumaStride()) * 16 +
                                 std::size_t(planes.chromaStride()) * 16);
  in.y = rows.data();
  in.cb = in.y + std::ptrdiff_t(planes.lumaStride()) * 16;
  in.cr = in.cb + std::ptrdiff_t(planes.chromaStride()) * 8;
  return encode(in, quality, exifOrientation);
}

}  // namespace platform::graphics
