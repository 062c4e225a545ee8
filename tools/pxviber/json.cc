#include "tools/pxviber/json.h"

#include <fmt/format.h>

#include <cmath>
#include <ctime>

namespace pxviber {

using platform::foundation::Value;

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += fmt::format("\\u{:04x}", c);
        } else {
          out += static_cast<char>(c);  // UTF-8 passes through
        }
    }
  }
  return out + "\"";
}

std::string toJson(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return "null";
    case Value::Kind::Boolean:
      return *v.asBoolean() ? "true" : "false";
    case Value::Kind::Integer:
      return std::to_string(*v.asInteger());
    case Value::Kind::Real:
      return std::isfinite(*v.asReal()) ? *v.stringValue() : "null";
    case Value::Kind::String:
      return jsonString(*v.asString());
    case Value::Kind::Uid:
      return std::to_string(v.asUid()->index);
    case Value::Kind::Data:
    case Value::Kind::Date:
      return jsonString(v.description());
    case Value::Kind::Array: {
      std::string out = "[";
      for (const auto& item : *v.asArray()) out += (out.size() > 1 ? "," : "") + toJson(item);
      return out + "]";
    }
    case Value::Kind::Dictionary: {
      std::string out = "{";
      for (const auto& [key, item] : *v.asDictionary()) {
        out += (out.size() > 1 ? "," : "") + jsonString(key) + ":" + toJson(item);
      }
      return out + "}";
    }
  }
  return "null";
}

}  // namespace pxviber
