// The photo path of the send request, as the benchmarks run it: the photo's bytes
// to the two attachment JPEGs (makeAttachmentJpegs) for a 750 × 1334 screen.
#pragma once

#include <cstddef>

#include "platform/foundation/file_io.h"

namespace bench {

struct PhotoPathOutput {
  std::size_t fullBytes = 0;
  std::size_t previewBytes = 0;
};

PhotoPathOutput photoPath(platform::foundation::Bytes photo);

}  // namespace bench
