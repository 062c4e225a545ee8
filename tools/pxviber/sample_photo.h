// A camera photo for trying photo replies: 4032 × 3024 stored pixels of a smooth
// pattern, stored turned (as a phone held upright writes it) with the EXIF
// orientation 6 that turns it back, as a JPEG.
#pragma once

#include <filesystem>

namespace pxviber {

// Writes the photo to `path` (its folder must exist); throws platform::Error
// when it cannot.
void writeSamplePhoto(const std::filesystem::path& path);

// Where `device create` leaves one on the device, as the camera roll's first
// photo.
inline constexpr const char* kSamplePhotoDevicePath =
    "/private/var/mobile/Media/DCIM/100APPLE/IMG_0001.JPG";

}  // namespace pxviber
