#include "platform/foundation/object.h"

#include <fmt/format.h>

#include <cctype>

namespace platform::foundation {

namespace {

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string NSObject::description() const {
  return fmt::format("<{}: {}>", className(), fmt::ptr(this));
}

std::string describe(const Id& object) { return describe(object.get()); }

std::string describe(const NSObject* object) {
  return object ? object->description() : std::string("(null)");
}

std::shared_ptr<NSURL> NSURL::URLWithString(const std::string& text) {
  if (text.empty()) return nullptr;
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7f) return nullptr;
  }
  return std::shared_ptr<NSURL>(new NSURL(text));
}

std::shared_ptr<NSURL> NSURL::fileURLWithPath(const std::string& path) {
  std::string text = "file://";
  for (unsigned char c : path) {
    if (isUnreserved(c)) {
      text += static_cast<char>(c);
    } else {
      text += fmt::format("%{:02X}", c);
    }
  }
  return std::shared_ptr<NSURL>(new NSURL(text));
}

std::string NSURL::scheme() const {
  auto colon = absoluteString_.find(':');
  return colon == std::string::npos ? std::string() : absoluteString_.substr(0, colon);
}

std::optional<std::string> NSURL::path() const {
  const std::string prefix = "file://";
  if (absoluteString_.rfind(prefix, 0) != 0) return std::nullopt;
  std::string encoded = absoluteString_.substr(prefix.size());
  // "file://localhost/x" names the same file as "file:///x".
  if (encoded.rfind("localhost/", 0) == 0) encoded = encoded.substr(9);
  std::string out;
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '%' && i + 2 < encoded.size()) {
      int hi = hexValue(encoded[i + 1]);
      int lo = hexValue(encoded[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += encoded[i];
  }
  return out;
}

}  // namespace platform::foundation
