// Keyed archives: the binary property lists that NSKeyedArchiver writes and
// NSKeyedUnarchiver reads (a local notification travels in a bulletin as one).
//
// An archive is a dictionary with "$archiver" = "NSKeyedArchiver", "$version",
// "$top" (the root under "root") and "$objects": a flat array whose entry 0 is
// "$null" and whose objects refer to each other by UID ("CF$UID"). Strings,
// numbers, data and dates stand in the array as they are; any other object is a
// dictionary whose "$class" refers to a class entry ("$classname", "$classes")
// and whose other keys are the object's encoded fields. Dictionaries are encoded
// with "NS.keys" and "NS.objects", arrays and sets with "NS.objects".
//
// Reading never throws and never trusts the input: a malformed archive, a
// reference out of range, a reference cycle, a nesting deeper than kMaxDepth or
// an archive that would expand beyond kMaxObjects decoded objects gives nothing.
// Any thread may call these functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/foundation/value.h"

namespace platform::foundation {

// An object of a class other than the property-list classes, with its fields.
// Nested inside another value, such an object reads back as a dictionary of its
// fields plus "$classname" naming its class.
struct ArchivedObject {
  std::string className;
  // The class and its superclasses, most derived first; NSObject is appended
  // when missing.
  std::vector<std::string> classes;
  Dictionary fields;
};

// What unarchiveObjectWithData: yields: a property-list value, or an object of
// another class (`object` set, `value` null).
struct Unarchived {
  Value value;
  std::optional<ArchivedObject> object;
};

inline constexpr int kMaxArchiveDepth = 128;
inline constexpr std::size_t kMaxArchiveObjects = 100000;

// unarchiveObjectWithData: the root object, or nullopt.
std::optional<Unarchived> unarchiveObjectWithData(std::span<const std::uint8_t> bytes);

// archivedDataWithRootObject: a binary keyed archive of `root`. Dictionaries
// become NSDictionary, arrays NSArray, strings NSString (stored inline), other
// kinds are stored inline; a dictionary holding "$classname" (a string) is
// written as an object of that class with the other entries as its fields.
Bytes archivedDataWithRootObject(const Value& root);
Bytes archivedDataWithRootObject(const ArchivedObject& root);

}  // namespace platform::foundation
