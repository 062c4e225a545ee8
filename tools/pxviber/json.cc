#include "tools/pxviber/json.h"

#include <fmt/format.h>

#include <cmath>

#include "platform/foundation/date_format.h"

namespace pxviber {

using platform::foundation::Value;

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
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
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

std::string isoDate(const platform::foundation::Date& date) {
  return platform::foundation::iso8601Utc(date);
}

}  // namespace

std::string toJson(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null:
    case Value::Kind::Uid:
      return "null";
    case Value::Kind::Boolean:
      return *value.asBoolean() ? "true" : "false";
    case Value::Kind::Integer:
      return std::to_string(*value.asInteger());
    case Value::Kind::Real:
      return std::isfinite(*value.asReal()) ? *value.stringValue() : "null";
    case Value::Kind::String:
      return jsonString(*value.asString());
    case Value::Kind::Data: {
      std::string hex;
      for (auto b : *value.asData()) hex += fmt::format("{:02x}", b);
      return jsonString(hex);
    }
    case Value::Kind::Date:
      return jsonString(isoDate(*value.asDate()));
    case Value::Kind::Array: {
      std::string out = "[";
      for (const auto& v : *value.asArray()) out += (out.size() > 1 ? "," : "") + toJson(v);
      return out + "]";
    }
    case Value::Kind::Dictionary: {
      std::string out = "{";
      for (const auto& [k, v] : *value.asDictionary()) {
        out += (out.size() > 1 ? "," : "") + jsonString(k) + ":" + toJson(v);
      }
      return out + "}";
    }
  }
  return "null";
}

}  // namespace pxviber
