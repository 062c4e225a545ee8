// Property-list values: the objects that property-list files, keyed archives,
// notification payloads and the settings store hold.
//
// A Value is one of null (nil), Boolean, integer, real, string, data, date, array,
// dictionary, or a keyed archive's object reference (UID). Values are plain
// copyable data; a dictionary keeps its keys sorted.
//
// The accessors named after Foundation methods (boolValue, longLongValue,
// stringValue) follow Foundation's rules for number and string objects, because
// the settings and payloads are read with exactly those rules on the phone. A kind
// that does not answer the method answers std::nullopt.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::foundation {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;
using Data = std::vector<std::uint8_t>;

// An absolute time, in seconds since 2001-01-01 00:00:00 UTC (NSDate's reference date).
struct Date {
  double sinceReferenceDate = 0;
  static constexpr double kUnixToReference = 978307200.0;
  static Date fromUnix(double seconds) { return Date{seconds - kUnixToReference}; }
  double unixTime() const { return sinceReferenceDate + kUnixToReference; }
  friend bool operator==(const Date&, const Date&) = default;
  friend auto operator<=>(const Date&, const Date&) = default;
};

// A reference to another object of a keyed archive ("CF$UID").
struct Uid {
  std::uint64_t index = 0;
  friend bool operator==(const Uid&, const Uid&) = default;
};

class Value {
 public:
  enum class Kind { Null, Boolean, Integer, Real, String, Data, Date, Array, Dictionary, Uid };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<std::int64_t>(i)) {}
  Value(long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(double d) : v_(d) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(foundation::Data d) : v_(std::move(d)) {}
  Value(foundation::Date d) : v_(d) {}
  Value(foundation::Array a) : v_(std::move(a)) {}
  Value(foundation::Dictionary d) : v_(std::move(d)) {}
  Value(foundation::Uid u) : v_(u) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }

  // The stored value when the kind matches, else nullptr.
  const bool* asBoolean() const { return std::get_if<bool>(&v_); }
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&v_); }
  const double* asReal() const { return std::get_if<double>(&v_); }
  const std::string* asString() const { return std::get_if<std::string>(&v_); }
  const foundation::Data* asData() const { return std::get_if<foundation::Data>(&v_); }
  const foundation::Date* asDate() const { return std::get_if<foundation::Date>(&v_); }
  const foundation::Array* asArray() const { return std::get_if<foundation::Array>(&v_); }
  const foundation::Dictionary* asDictionary() const {
    return std::get_if<foundation::Dictionary>(&v_);
  }
  foundation::Dictionary* asDictionary() { return std::get_if<foundation::Dictionary>(&v_); }
  const foundation::Uid* asUid() const { return std::get_if<foundation::Uid>(&v_); }

  // True for the kinds that NSNumber stands for: Boolean, integer, real.
  bool isNumber() const;

  // -boolValue of NSNumber (non-zero) and NSString (after blanks, an optional sign
  // and leading zeros, the first character is one of "YyTt" or a digit 1-9).
  std::optional<bool> boolValue() const;
  // -longLongValue of NSNumber (reals truncated toward zero, clamped to the range)
  // and NSString (leading blanks, optional sign, decimal digits, clamped on
  // overflow, 0 when no digits).
  std::optional<std::int64_t> longLongValue() const;
  // -stringValue of NSNumber: decimal text of integers, "1"/"0" for Booleans, the
  // shortest text that reads back as the same double for reals. Strings, like every
  // other kind, do not answer it.
  std::optional<std::string> stringValue() const;

  // What NSLog's "%@" prints for the object: a string as it is, a number as its
  // stringValue, collections in the old-style property-list form, nil as "(null)".
  std::string description() const;

  friend bool operator==(const Value&, const Value&) = default;

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, foundation::Data,
               foundation::Date, foundation::Array, foundation::Dictionary, foundation::Uid>
      v_;
};

// The entry for `key`, or nullptr when the key is absent.
const Value* find(const Dictionary& dictionary, std::string_view key);

// "(null)" for nullopt, else the string itself: how "%@" prints an optional string.
std::string describe(const std::optional<std::string>& s);

// NSString -boolValue / -longLongValue on plain text.
bool stringBoolValue(std::string_view s);
std::int64_t stringLongLongValue(std::string_view s);

}  // namespace platform::foundation
