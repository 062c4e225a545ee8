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
  // record the drawing; the pixels are made when the two are encoded, together, from
  // one decode of the photo.
  auto upright = fixOrientation(image);
  const graphics::JPEGRepresentationRequest requests[] = {
      {resizedImageToFitInSize(upright, {kFullSizeBound, kFullSizeBound}, false), kFullSizeQuality},
      {resizedImageToFitInSize(upright, previewBound, false), kPreviewQuality}};
  auto jpegs = graphics::UIImageJPEGRepresentations(requests);
  if (!jpegs[0] || !jpegs[1]) return std::nullopt;
  return AttachmentJpegs{std::move(*jpegs[0]), std::move(*jpegs[1])};
}

}  // namespace tweak
