// The two JPEG files of a photo reply, made from the photo's bytes: the photo
// turned upright, then fitted into 1280 × 1280 pixels and encoded at quality 0.7
// (the attachment), and fitted into the preview box and encoded at quality 0.4
// (the preview). Neither is enlarged.
#pragma once

#include <optional>

#include "platform/foundation/file_io.h"
#include "platform/graphics/geometry.h"

namespace tweak {

struct AttachmentJpegs {
  platform::foundation::Bytes full;
  platform::foundation::Bytes preview;
};

// The full-size bound and the two qualities of the stored files.
inline constexpr double kFullSizeBound = 1280;
inline constexpr float kFullSizeQuality = 0.7f;
inline constexpr float kPreviewQuality = 0.4f;

// Both files for `photo` (the bytes of an image file) with the preview fitted
// into `previewBound` (pixels). Nothing when the bytes are not an image the
// decoder takes, or an encode fails.
std::optional<AttachmentJpegs> makeAttachmentJpegs(platform::foundation::Bytes photo,
                                                   platform::graphics::CGSize previewBound);

}  // namespace tweak
