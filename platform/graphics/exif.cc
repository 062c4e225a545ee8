// EXIF orientation, read with libexif (which checks every offset against the
// segment's length) and written by hand (one tag needs no library).
#include <libexif/exif-data.h>

#include <algorithm>

#include "platform/graphics/codecs.h"

namespace platform::graphics {

int exifOrientationTag(std::span<const std::uint8_t> payload) {
  static constexpr std::uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (payload.size() < 14 || !std::equal(kHeader, kHeader + 6, payload.begin())) return 0;
  ExifData* data = exif_data_new();
  if (!data) return 0;
  // Read the tags as written: the library's option to follow the standard would add default
  // entries (and an orientation) that the file does not carry.
  exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data, payload.data(), static_cast<unsigned int>(payload.size()));
  int value = 0;
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data &&
      entry->size >= 2) {
    value = exif_get_short(entry->data, exif_data_get_byte_order(data));
  }
  exif_data_unref(data);
  return value;
}

std::vector<std::uint8_t> exifOrientationSegment(int value) {
  const auto v = static_cast<std::uint16_t>(value);
  return {'E', 'x', 'i', 'f', 0, 0,
          // big-endian TIFF header, IFD0 at offset 8
          'M', 'M', 0, 42, 0, 0, 0, 8,
          // one entry: tag 0x0112, type SHORT, count 1, value
          0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, std::uint8_t(v >> 8), std::uint8_t(v & 0xFF), 0, 0,
          // no next IFD
          0, 0, 0, 0};
}

}  // namespace platform::graphics
