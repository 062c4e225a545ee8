#include "platform/foundation/xml_text.h"

#include <cstdint>

namespace platform::foundation {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of `s` and its
// code point; length 0 for a byte that starts none.
std::size_t decode(std::string_view s, char32_t& c) {
  auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  std::uint8_t lead = b(0);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (n == 0 || lead > 0xF4 || s.size() < n) return 0;
  c = lead & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kLeast[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
  return n;
}

bool xmlHolds(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  return c != 0xFFFE && c != 0xFFFF;
}

}  // namespace

std::string textXmlCanHold(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    std::size_t n = decode(text, c);
    if (n > 0 && xmlHolds(c)) {
      out.append(text.substr(0, n));
    } else {
      out.append(kReplacement);
    }
    text.remove_prefix(n > 0 ? n : 1);
  }
  return out;
}

}  // namespace platform::foundation
