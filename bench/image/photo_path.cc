#include "bench/image/photo_path.h"

#include "platform/graphics/geometry.h"
#include "tweak/extension/photo_attachment.h"

namespace bench {

PhotoPathOutput photoPath(platform::foundation::Bytes photo) {
  const auto jpegs = tweak::makeAttachmentJpegs(std::move(photo), {750, 1334});
  if (!jpegs) return {};
  return {jpegs->full.size(), jpegs->preview.size()};
}

}  // namespace bench
