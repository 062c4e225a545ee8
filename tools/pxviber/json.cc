// The JSON itself is nlohmann::json's: its writer escapes and checks UTF-8.
#include "tools/pxviber/json.h"

#include <fmt/format.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/foundation/date_format.h"

namespace pxviber {

namespace {

using platform::foundation::Value;

std::string hex(const platform::foundation::Data& data) {
  std::string out;
  for (auto b : data) out += fmt::format("{:02x}", b);
  return out;
}

nlohmann::json toTree(const Value& value);

nlohmann::json arrayTree(const platform::foundation::Array& array) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& v : array) out.push_back(toTree(v));
  return out;
}

nlohmann::json dictionaryTree(const platform::foundation::Dictionary& dictionary) {
  nlohmann::json out = nlohmann::json::object();
  for (const auto& [k, v] : dictionary) out[k] = toTree(v);
  return out;
}

nlohmann::json toTree(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null:
    case Value::Kind::Uid:
      return nullptr;
    case Value::Kind::Boolean:
      return *value.asBoolean();
    case Value::Kind::Integer:
      return *value.asInteger();
    case Value::Kind::Real:
      return std::isfinite(*value.asReal()) ? nlohmann::json(*value.asReal()) : nullptr;
    case Value::Kind::String:
      return *value.asString();
    case Value::Kind::Data:
      return hex(*value.asData());
    case Value::Kind::Date:
      return isoDate(*value.asDate());
    case Value::Kind::Array:
      return arrayTree(*value.asArray());
    case Value::Kind::Dictionary:
      return dictionaryTree(*value.asDictionary());
  }
  return nullptr;
}

}  // namespace

std::string isoDate(const platform::foundation::Date& date) {
  return platform::foundation::iso8601Utc(date);
}

std::string toJson(const Value& value) {
  return toTree(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace pxviber
