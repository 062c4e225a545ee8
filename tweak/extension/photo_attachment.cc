#include "tweak/extension/photo_attachment.h"

#include <cmath>
#include <cstdint>
#include <limits>

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

std::string attachmentFileName(double secondsSince1970) {
  // A 64-bit count whatever the width of unsigned long; a time before 1970 or
  // past the count's end names the nearest end instead of wrapping.
  constexpr double kEnd = 18446744073709551616.0;  // 2^64
  double seconds = std::floor(secondsSince1970);
  std::uint64_t whole = !(seconds > 0)    ? 0
                        : seconds >= kEnd ? std::numeric_limits<std::uint64_t>::max()
                                          : static_cast<std::uint64_t>(seconds);
  return std::to_string(whole) + "00.jpg";
}

}  // namespace tweak
