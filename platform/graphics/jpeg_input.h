// Where a JPEG's bytes come from, for libjpeg: held in memory, or an open file read
// as the decoder asks for them. Private to platform/graphics.
//
// A photo is decoded once from start to end. Read as the decoder goes, its file
// passes through one buffer of a quarter megabyte; read whole first, it is copied
// twice into megabytes of fresh memory, each page of it a fault, which in a new
// process is a cost of its own beside the decode.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/graphics/jpeg_common.h"

namespace platform::graphics {

class JpegInput {
 public:
  explicit JpegInput(std::vector<std::uint8_t> bytes);
  explicit JpegInput(std::shared_ptr<const foundation::ReadOnlyFile> file);

  // Makes `cinfo` (created, not yet reading) read the bytes from the start. What
  // it needs for that comes from cinfo's own memory pool, so that a jump out of
  // libjpeg leaves nothing behind. Data that ends early (a file cut short
  // meanwhile) ends as libjpeg's own sources end it: with an end-of-image marker.
  void attachTo(j_decompress_ptr cinfo) const;

  // Up to `count` bytes from the start, to recognise the format.
  std::vector<std::uint8_t> head(std::size_t count) const;

 private:
  std::vector<std::uint8_t> bytes_;
  std::shared_ptr<const foundation::ReadOnlyFile> file_;
};

}  // namespace platform::graphics
