#include "tweak/extension/photo_attachment.h"

#include "platform/graphics/ui_image.h"
#include "tweak/image/fix_orientation.h"
#include "tweak/image/resize_category.h"

namespace tweak {

namespace graphics = platform::graphics;

std::optional<AttachmentJpegs> makeAttachmentJpegs(std::shared_ptr<graphics::UIImage> image,
                                                   graphics::CGSize previewBound) {
  if (!image) return std::nullopt;
  // Both stored files are made from the upright picture. Turning and fitting only
  // record the drawing; the pixels are made when the fitted pictures are encoded.
  // Both are fitted before either is encoded, so that the first encode can draw
  // the two from one decode of the photo.
  auto upright = fixOrientation(image);
  auto full = resizedImageToFitInSize(upright, {kFullSizeBound, kFullSizeBound}, false);
  auto preview = resizedImageToFitInSize(upright, previewBound, false);
  auto fullJpeg = graphics::UIImageJPEGRepresentation(full, kFullSizeQuality);
  auto previewJpeg = graphics::UIImageJPEGRepresentation(preview, kPreviewQuality);
  if (!fullJpeg || !previewJpeg) return std::nullopt;
  return AttachmentJpegs{std::move(*fullJpeg), std::move(*previewJpeg)};
}

}  // namespace tweak
