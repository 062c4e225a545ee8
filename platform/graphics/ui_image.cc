#include "platform/graphics/ui_image.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/codecs.h"
#include "platform/graphics/jpeg_representation.h"
#include "platform/graphics/pixel_format.h"

namespace platform::graphics {

bool isQuarterTurn(UIImageOrientation o) {
  return o == UIImageOrientationLeft || o == UIImageOrientationRight ||
         o == UIImageOrientationLeftMirrored || o == UIImageOrientationRightMirrored;
}

UIImageOrientation orientationFromExif(int exif) {
  switch (exif) {
    case 3:
      return UIImageOrientationDown;
    case 8:
      return UIImageOrientationLeft;
    case 6:
      return UIImageOrientationRight;
    case 2:
      return UIImageOrientationUpMirrored;
    case 4:
      return UIImageOrientationDownMirrored;
    case 5:
      return UIImageOrientationLeftMirrored;
    case 7:
      return UIImageOrientationRightMirrored;
    default:
      return UIImageOrientationUp;
  }
}

namespace {

int exifFromOrientation(UIImageOrientation o) {
  switch (o) {
    case UIImageOrientationUp:
      return 1;
    case UIImageOrientationDown:
      return 3;
    case UIImageOrientationLeft:
      return 8;
    case UIImageOrientationRight:
      return 6;
    case UIImageOrientationUpMirrored:
      return 2;
    case UIImageOrientationDownMirrored:
      return 4;
    case UIImageOrientationLeftMirrored:
      return 5;
    case UIImageOrientationRightMirrored:
      return 7;
  }
  return 1;
}

}  // namespace

UIImage::UIImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation)
    : image_(std::move(image)), scale_(scale > 0 ? scale : 1), orientation_(orientation) {}

std::shared_ptr<UIImage> UIImage::imageWithCGImage(CGImageRef image, CGFloat scale,
                                                   UIImageOrientation orientation) {
  if (!image) return nullptr;
  return std::make_shared<UIImage>(std::move(image), scale, orientation);
}

namespace {

std::shared_ptr<UIImage> pngImage(std::span<const std::uint8_t> data) {
  bool hasAlpha = false;
  auto source = decodePng(data, &hasAlpha);
  if (!source) return nullptr;
  auto image = std::make_shared<CGImage>(nativeFormat(!hasAlpha), std::move(source));
  return UIImage::imageWithCGImage(std::move(image), 1, UIImageOrientationUp);
}

}  // namespace

std::shared_ptr<UIImage> UIImage::initWithData(std::span<const std::uint8_t> data) {
  if (looksLikeJpeg(data)) return initWithData(foundation::Bytes(data.begin(), data.end()));
  if (looksLikePng(data)) return pngImage(data);
  return nullptr;
}

namespace {

std::shared_ptr<UIImage> jpegImage(OpenedJpeg jpeg) {
  if (!jpeg.source) return nullptr;
  auto image = std::make_shared<graphics::CGImage>(nativeFormat(true), std::move(jpeg.source));
  return UIImage::imageWithCGImage(std::move(image), 1, orientationFromExif(jpeg.exifOrientation));
}

}  // namespace

std::shared_ptr<UIImage> UIImage::initWithData(foundation::Bytes&& data) {
  if (looksLikePng(data)) return pngImage(data);
  // The JPEG keeps the bytes and decodes them when its pixels are first needed;
  // openJpeg refuses what is not one.
  return jpegImage(openJpeg(std::move(data)));
}

std::shared_ptr<UIImage> UIImage::initWithContentsOfFile(
    std::shared_ptr<const foundation::ReadOnlyFile> file) {
  if (!file) return nullptr;
  std::uint8_t head[8] = {};
  if (looksLikePng(std::span(head, file->readAt(0, head)))) {
    std::vector<std::uint8_t> png(static_cast<std::size_t>(file->size()));
    png.resize(file->readAt(0, png));
    return pngImage(png);
  }
  // Anything else is a JPEG or nothing: openJpeg refuses what is not one.
  return jpegImage(openJpeg(std::move(file)));
}

CGSize UIImage::size() const {
  const CGFloat w = double(image_->width()) / scale_;
  const CGFloat h = double(image_->height()) / scale_;
  return isQuarterTurn(orientation_) ? CGSize{h, w} : CGSize{w, h};
}

int libjpegQuality(CGFloat quality) {
  const double q = std::isnan(quality) ? 0 : std::clamp(quality, 0.0, 1.0);
  return std::max(1, int(std::lround(q * 100)));
}

int exifOrientationOf(UIImageOrientation o) {
  return (o >= 0 && o <= 7) ? exifFromOrientation(o) : 1;
}

std::optional<foundation::Bytes> UIImageJPEGRepresentation(const std::shared_ptr<UIImage>& image,
                                                           CGFloat quality) {
  if (!image) return std::nullopt;
  auto bytes = encodeJpegRepresentation(image->CGImage()->source(), libjpegQuality(quality),
                                        exifOrientationOf(image->imageOrientation()));
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

}  // namespace platform::graphics
