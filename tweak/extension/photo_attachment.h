// The two JPEG files of a photo reply, made from the photo: the photo
// turned upright, then fitted into 1280 × 1280 pixels and encoded at quality 0.7
// (the attachment), and fitted into the preview box and encoded at quality 0.4
// (the preview). Neither is enlarged.
#pragma once

#include <memory>
#include <optional>

#include "platform/foundation/file_io.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/ui_image.h"

namespace tweak {

struct AttachmentJpegs {
  platform::foundation::Bytes full;
  platform::foundation::Bytes preview;
};

// The full-size bound and the two qualities of the stored files.
inline constexpr double kFullSizeBound = 1280;
inline constexpr float kFullSizeQuality = 0.7f;
inline constexpr float kPreviewQuality = 0.4f;

// Both files for `photo` with the preview fitted into `previewBound` (pixels).
// Nothing when there is no photo or an encode fails.
std::optional<AttachmentJpegs> makeAttachmentJpegs(
    std::shared_ptr<platform::graphics::UIImage> photo, platform::graphics::CGSize previewBound);

}  // namespace tweak
