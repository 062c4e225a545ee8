#include "platform/foundation/uuid.h"

#include <array>
#include <cstdint>
#include <random>

namespace platform::foundation {

std::string newUUID() {
  // One engine per thread, seeded from the system's entropy.
  thread_local std::mt19937_64 engine{(std::uint64_t(std::random_device{}()) << 32) ^
                                      std::random_device{}()};
  std::array<std::uint8_t, 16> bytes;
  for (auto& b : bytes) b = static_cast<std::uint8_t>(engine());
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace platform::foundation
