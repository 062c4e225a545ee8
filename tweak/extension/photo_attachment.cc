#include "tweak/extension/photo_attachment.h"

#include "platform/graphics/ui_image.h"
#include "tweak/image/fix_orientation.h"
#include "tweak/image/resize_category.h"

namespace tweak {

namespace graphics = platform::graphics;

namespace {

std::optional<platform::foundation::Bytes> fittedJpeg(
    const std::shared_ptr<graphics::UIImage>& upright, graphics::CGSize bound, float quality) {
  return graphics::UIImageJPEGRepresentation(resizedImageToFitInSize(upright, bound, false),
                                             quality);
}

}  // namespace

std::optional<AttachmentJpegs> makeAttachmentJpegs(platform::foundation::Bytes photo,
                                                   graphics::CGSize previewBound) {
  auto image = graphics::UIImage::initWithData(std::move(photo));
  if (!image) return std::nullopt;
  // Both stored files are made from the upright picture.
  auto upright = fixOrientation(image);
  auto full = fittedJpeg(upright, {kFullSizeBound, kFullSizeBound}, kFullSizeQuality);
  auto preview = fittedJpeg(upright, previewBound, kPreviewQuality);
  if (!full || !preview) return std::nullopt;
  return AttachmentJpegs{std::move(*full), std::move(*preview)};
}

}  // namespace tweak
