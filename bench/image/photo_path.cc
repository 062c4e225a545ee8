#include "bench/image/photo_path.h"

#include "platform/foundation/file_io.h"
#include "platform/graphics/ui_image.h"
#include "tweak/extension/photo_attachment.h"

namespace bench {

PhotoPathOutput photoPath(const std::filesystem::path& photo) {
  // As the request opens the photo's URL.
  auto image = platform::graphics::UIImage::initWithContentsOfFile(
      platform::foundation::ReadOnlyFile::open(photo));
  const auto jpegs = tweak::makeAttachmentJpegs(std::move(image), {750, 1334});
  if (!jpegs) return {};
  return {jpegs->full.size(), jpegs->preview.size()};
}

}  // namespace bench
