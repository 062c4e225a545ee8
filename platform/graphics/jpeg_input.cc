#include "platform/graphics/jpeg_input.h"

#include <jerror.h>

#include <algorithm>

namespace platform::graphics {
namespace {

// libjpeg's fast Huffman decoding wants a few KiB of data ahead and falls back to
// its slow path near a buffer's end: the larger the buffer, the rarer that is.
constexpr std::size_t kChunk = 256 * 1024;

// libjpeg's source manager over an open file. libjpeg hands back the manager it was
// given; its first member is libjpeg's own part, so the two share an address.
struct FileSource {
  jpeg_source_mgr pub;
  const foundation::ReadOnlyFile* file;
  std::uint64_t offset;  // of the next read
  JOCTET* buffer;        // kChunk bytes
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

FileSource* fileSource(j_decompress_ptr cinfo) { return reinterpret_cast<FileSource*>(cinfo->src); }

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillBuffer(j_decompress_ptr cinfo) {
  FileSource* src = fileSource(cinfo);
  const std::size_t n = src->file->readAt(src->offset, {src->buffer, kChunk});
  if (n == 0) {
    // As libjpeg's memory and stdio sources do at the end of their data.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
  }
  src->offset += n;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  FileSource* src = fileSource(cinfo);
  const auto skip = static_cast<std::size_t>(count);
  if (skip <= src->pub.bytes_in_buffer) {
    src->pub.next_input_byte += skip;
    src->pub.bytes_in_buffer -= skip;
    return;
  }
  // Past the buffer: the next fill reads from there.
  src->offset += skip - src->pub.bytes_in_buffer;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = 0;
}

}  // namespace

JpegInput::JpegInput(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

JpegInput::JpegInput(std::shared_ptr<const foundation::ReadOnlyFile> file)
    : file_(std::move(file)) {}

void JpegInput::attachTo(j_decompress_ptr cinfo) const {
  if (!file_) {
    jpeg_mem_src(cinfo, bytes_.data(), static_cast<unsigned long>(bytes_.size()));
    return;
  }
  auto* src = static_cast<FileSource*>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(FileSource)));
  src->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kChunk));
  src->file = file_.get();
  src->offset = 0;
  src->pub.init_source = initSource;
  src->pub.fill_input_buffer = fillBuffer;
  src->pub.skip_input_data = skipInput;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = termSource;
  src->pub.next_input_byte = nullptr;
  src->pub.bytes_in_buffer = 0;
  cinfo->src = &src->pub;
}

std::vector<std::uint8_t> JpegInput::head(std::size_t count) const {
  if (!file_) {
    return {bytes_.begin(), bytes_.begin() + std::ptrdiff_t(std::min(count, bytes_.size()))};
  }
  std::vector<std::uint8_t> out(std::min<std::uint64_t>(count, file_->size()));
  out.resize(file_->readAt(0, out));
  return out;
}

}  // namespace platform::graphics
