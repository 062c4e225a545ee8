// The JPEG bytes behind UIImageJPEGRepresentation. Private to platform/graphics.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/pixel_source.h"

namespace platform::graphics {

// `source`'s pixels as a baseline JPEG (see encodeJpeg), libjpeg quality 1 to 100.
//
// When `source` is a drawing of a JPEG that other drawings of the same JPEG wait
// to be encoded with (pending_drawings.h), this encode renders them all from one
// decode, at the finest scale any of them needs, streamed through the drawings
// and never held whole; the others' pixels are kept for their own encodes, which
// then only encode. The decode runs on the calling thread while a second thread
// draws; the second thread is joined before this returns. Should no thread start,
// `source` is rendered alone and the others keep waiting.
//
// The bytes are those of encoding each drawing alone, except that a drawing that
// alone would be drawn from a coarser decode than another drawing of the same
// JPEG needs is drawn from the finer one (the same picture, resampled from more
// pixels). Rows that damaged JPEG data does not deliver are grey either way.
std::vector<std::uint8_t> encodeJpegRepresentation(const std::shared_ptr<const PixelSource>& source,
                                                   int quality, int exifOrientation);

}  // namespace platform::graphics
