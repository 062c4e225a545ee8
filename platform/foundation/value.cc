#include "platform/foundation/value.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "platform/foundation/date_format.h"

namespace platform::foundation {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view skipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  return s.substr(i);
}

// Strings in descriptions are quoted when they hold anything but plain word
// characters, as the old-style property-list printer does.
std::string quoteIfNeeded(const std::string& s) {
  bool plain = !s.empty();
  for (unsigned char c : s) {
    if (!(std::isalnum(c) || c == '_' || c == '.' || c == '$' || c == '/' || c == ':' ||
          c >= 0x80)) {
      plain = false;
      break;
    }
  }
  if (plain) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

void describeInto(const Value& v, int depth, std::string& out);

void indent(std::string& out, int depth) { out.append(static_cast<size_t>(depth) * 4, ' '); }

void describeNested(const Value& v, int depth, std::string& out) {
  if (const auto* s = v.asString()) {
    out += quoteIfNeeded(*s);
  } else {
    describeInto(v, depth, out);
  }
}

void describeInto(const Value& v, int depth, std::string& out) {
  switch (v.kind()) {
    case Value::Kind::Array: {
      const auto& a = *v.asArray();
      out += "(\n";
      for (size_t i = 0; i < a.size(); ++i) {
        indent(out, depth + 1);
        describeNested(a[i], depth + 1, out);
        out += i + 1 < a.size() ? ",\n" : "\n";
      }
      indent(out, depth);
      out += ")";
      return;
    }
    case Value::Kind::Dictionary: {
      out += "{\n";
      for (const auto& [key, value] : *v.asDictionary()) {
        indent(out, depth + 1);
        out += quoteIfNeeded(key) + " = ";
        describeNested(value, depth + 1, out);
        out += ";\n";
      }
      indent(out, depth);
      out += "}";
      return;
    }
    default:
      out += v.description();
  }
}

}  // namespace

bool Value::isNumber() const {
  return kind() == Kind::Boolean || kind() == Kind::Integer || kind() == Kind::Real;
}

bool stringBoolValue(std::string_view s) {
  s = skipBlanks(s);
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
  while (!s.empty() && s[0] == '0') s.remove_prefix(1);
  if (s.empty()) return false;
  char c = s[0];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t stringLongLongValue(std::string_view s) {
  s = skipBlanks(s);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  // Accumulate as a negative number so that INT64_MIN is reachable; clamp on
  // overflow as Foundation does.
  std::int64_t acc = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  bool overflow = false;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    int d = c - '0';
    if (acc < (kMin + d) / 10) {
      overflow = true;
      break;
    }
    acc = acc * 10 - d;
  }
  if (overflow) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative) return acc;
  return acc == kMin ? std::numeric_limits<std::int64_t>::max() : -acc;
}

std::optional<bool> Value::boolValue() const {
  if (const auto* b = asBoolean()) return *b;
  if (const auto* i = asInteger()) return *i != 0;
  if (const auto* d = asReal()) return *d != 0.0;
  if (const auto* s = asString()) return stringBoolValue(*s);
  return std::nullopt;
}

std::optional<std::int64_t> Value::longLongValue() const {
  if (const auto* b = asBoolean()) return *b ? 1 : 0;
  if (const auto* i = asInteger()) return *i;
  if (const auto* d = asReal()) {
    if (std::isnan(*d)) return 0;
    if (*d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (*d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*d);
  }
  if (const auto* s = asString()) return stringLongLongValue(*s);
  return std::nullopt;
}

std::optional<std::string> Value::stringValue() const {
  if (const auto* b = asBoolean()) return std::string(*b ? "1" : "0");
  if (const auto* i = asInteger()) return std::to_string(*i);
  if (const auto* d = asReal()) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *d);
    if (ec != std::errc()) return std::string("nan");
    return std::string(buffer, end);
  }
  return std::nullopt;
}

std::string Value::description() const {
  switch (kind()) {
    case Kind::Null:
      return "(null)";
    case Kind::String:
      return *asString();
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Real:
      return *stringValue();
    case Kind::Data: {
      std::string out = "<";
      const auto& d = *asData();
      static const char* hex = "0123456789abcdef";
      for (size_t i = 0; i < d.size(); ++i) {
        if (i > 0 && i % 4 == 0) out += ' ';
        out += hex[d[i] >> 4];
        out += hex[d[i] & 15];
      }
      return out + ">";
    }
    case Kind::Date:
      return formatUtcDateTime(*asDate()) + " +0000";
    case Kind::Uid:
      return "<CFKeyedArchiverUID>{value = " + std::to_string(asUid()->index) + "}";
    case Kind::Array:
    case Kind::Dictionary: {
      std::string out;
      describeInto(*this, 0, out);
      return out;
    }
  }
  return "(null)";
}

const Value* find(const Dictionary& dictionary, std::string_view key) {
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &it->second;
}

std::string describe(const std::optional<std::string>& s) { return s ? *s : "(null)"; }

}  // namespace platform::foundation
