#include "platform/foundation/keyed_archive.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/property_list.h"

namespace platform::foundation {
namespace {

// An archive assembled by hand from its objects array.
Bytes archiveOf(Array objects, Value root = Value(Uid{1})) {
  Dictionary a{{"$archiver", Value("NSKeyedArchiver")},
               {"$version", Value(100000)},
               {"$top", Value(Dictionary{{"root", root}})},
               {"$objects", Value(std::move(objects))}};
  return serializePropertyList(Value(std::move(a)), PropertyListFormat::Binary);
}

Value cls(const char* name) {
  return Value(Dictionary{{"$classname", Value(name)},
                          {"$classes", Value(Array{Value(name), Value("NSObject")})}});
}

// "%@" of what an archive decodes to, or "NONE".
std::string decoded(const Bytes& bytes) {
  auto u = unarchiveObjectWithData(bytes);
  if (!u) return "NONE";
  if (u->object) return u->object->className + " " + Value(u->object->fields).description();
  return u->value.description();
}

TEST(KeyedArchive, WrittenArchivesReadBack) {
  Dictionary userInfo{{"mt", Value(6200000000000000001LL)},
                      {"fn", Value("+15550100001")},
                      {"when", Value(Date{500})},
                      {"raw", Value(Data{1, 2})},
                      {"list", Value(Array{Value("a"), Value(2), Value()})},
                      {"yes", Value(true)},
                      {"ratio", Value(0.5)}};
  ArchivedObject notification{"UILocalNotification",
                              {},
                              {{"userInfo", Value(userInfo)}, {"alertBody", Value("Alice: hi")}}};
  auto u = unarchiveObjectWithData(archivedDataWithRootObject(notification));
  ASSERT_TRUE(u && u->object);
  EXPECT_EQ(u->object->className, "UILocalNotification");
  EXPECT_EQ(u->object->classes, (std::vector<std::string>{"UILocalNotification", "NSObject"}));
  EXPECT_EQ(u->object->fields.at("userInfo"), Value(userInfo));
  EXPECT_EQ(u->object->fields.at("alertBody"), Value("Alice: hi"));

  EXPECT_EQ(decoded(archivedDataWithRootObject(Value(userInfo))), Value(userInfo).description());
  EXPECT_EQ(decoded(archivedDataWithRootObject(Value("plain"))), "plain");
}

// A notification's payload from a 64-bit phone: a token near 2^63, a key past
// 2^32 and a date past 2038 keep their values and their text on every processor.
TEST(KeyedArchive, WideNumbersAndDatesPast2038ReadBack) {
  Date when = Date::fromUnix(2224756800);  // 2040-07-01 12:00:00 UTC
  Dictionary userInfo{{"mt", Value(9223372036854775000LL)},
                      {"conversation", Value(4294967301LL)},
                      {"date", Value(when)}};
  auto u = unarchiveObjectWithData(archivedDataWithRootObject(Value(userInfo)));
  ASSERT_TRUE(u && u->value.asDictionary());
  const Dictionary& back = *u->value.asDictionary();
  EXPECT_EQ(back.at("mt").longLongValue(), 9223372036854775000LL);
  EXPECT_EQ(back.at("mt").stringValue(), "9223372036854775000");
  EXPECT_EQ(back.at("conversation").stringValue(), "4294967301");
  EXPECT_EQ(back.at("date"), Value(when));
  EXPECT_EQ(back.at("date").description(), "2040-07-01 12:00:00 +0000");
}

TEST(KeyedArchive, NestedObjectsReadAsDictionariesWithTheirClass) {
  Dictionary inner{{"$classname", Value("CLLocation")}, {"lat", Value(1.5)}};
  auto u =
      unarchiveObjectWithData(archivedDataWithRootObject(Value(Dictionary{{"at", Value(inner)}})));
  ASSERT_TRUE(u);
  EXPECT_EQ(u->value, Value(Dictionary{{"at", Value(inner)}}));
}

TEST(KeyedArchive, HandBuiltFormsDecode) {
  // A mutable string by its bytes, a date by an integer time, NSNull, a set.
  Array objects{
      Value("$null"),
      Value(Dictionary{
          {"NS.objects", Value(Array{Value(Uid{3}), Value(Uid{5}), Value(Uid{7}), Value(Uid{0})})},
          {"$class", Value(Uid{2})}}),
      cls("NSMutableSet"),
      Value(Dictionary{{"NS.bytes", Value(Data{'h', 'i'})}, {"$class", Value(Uid{4})}}),
      cls("NSMutableString"),
      Value(Dictionary{{"NS.time", Value(42)}, {"$class", Value(Uid{6})}}),
      cls("NSDate"),
      Value(Dictionary{{"$class", Value(Uid{8})}}),
      cls("NSNull")};
  auto u = unarchiveObjectWithData(archiveOf(objects));
  ASSERT_TRUE(u);
  EXPECT_EQ(u->value, Value(Array{Value("hi"), Value(Date{42}), Value(), Value()}));
}

TEST(KeyedArchive, MalformedArchivesGiveNothing) {
  EXPECT_EQ(decoded({}), "NONE");
  EXPECT_EQ(decoded({'b', 'p', 'l', 'i', 's', 't'}), "NONE");
  // Not an archive at all, or the wrong archiver.
  EXPECT_EQ(decoded(serializePropertyList(Value(Dictionary{{"a", Value(1)}}),
                                          PropertyListFormat::Binary)),
            "NONE");
  Dictionary wrong{{"$archiver", Value("Other")},
                   {"$top", Value(Dictionary{{"root", Value(Uid{1})}})},
                   {"$objects", Value(Array{Value("$null"), Value("x")})}};
  EXPECT_EQ(decoded(serializePropertyList(Value(wrong), PropertyListFormat::Binary)), "NONE");
  // Root missing, out of range, or not a reference.
  EXPECT_EQ(decoded(archiveOf({Value("$null")}, Value(Uid{5}))), "NONE");
  EXPECT_EQ(decoded(archiveOf({Value("$null"), Value("x")}, Value("x"))), "NONE");
  // A dictionary whose keys and objects differ in number; a class reference to
  // something that is not a class; a class entry out of range.
  EXPECT_EQ(decoded(archiveOf({Value("$null"),
                               Value(Dictionary{{"NS.keys", Value(Array{Value(Uid{0})})},
                                                {"NS.objects", Value(Array{})},
                                                {"$class", Value(Uid{2})}}),
                               cls("NSDictionary")})),
            "NONE");
  EXPECT_EQ(decoded(archiveOf({Value("$null"), Value(Dictionary{{"$class", Value(Uid{0})}})})),
            "NONE");
  EXPECT_EQ(decoded(archiveOf({Value("$null"), Value(Dictionary{{"$class", Value(Uid{9})}})})),
            "NONE");
  // A date far beyond any calendar, or not a number.
  for (double t : {1e300, -1e300, std::nan("")}) {
    EXPECT_EQ(
        decoded(archiveOf({Value("$null"),
                           Value(Dictionary{{"NS.time", Value(t)}, {"$class", Value(Uid{2})}}),
                           cls("NSDate")})),
        "NONE");
  }
  // A field referring past the end.
  EXPECT_EQ(
      decoded(archiveOf({Value("$null"),
                         Value(Dictionary{{"userInfo", Value(Uid{40})}, {"$class", Value(Uid{2})}}),
                         cls("UILocalNotification")})),
      "NONE");
}

TEST(KeyedArchive, CyclesAndExplosionsGiveNothing) {
  // An array that contains itself, and an object whose field is itself.
  EXPECT_EQ(decoded(archiveOf({Value("$null"),
                               Value(Dictionary{{"NS.objects", Value(Array{Value(Uid{1})})},
                                                {"$class", Value(Uid{2})}}),
                               cls("NSArray")})),
            "NONE");
  EXPECT_EQ(
      decoded(archiveOf({Value("$null"),
                         Value(Dictionary{{"userInfo", Value(Uid{1})}, {"$class", Value(Uid{2})}}),
                         cls("UILocalNotification")})),
      "NONE");
  // Each array holds the next one twice: 2^60 leaves if decoded naively.
  Array objects{Value("$null"), cls("NSArray")};
  for (int i = 0; i < 60; ++i) {
    Uid next{objects.size() + 1};
    Dictionary entry{{"NS.objects", Value(Array{Value(next), Value(next)})},
                     {"$class", Value(Uid{1})}};
    objects.emplace_back(std::move(entry));
  }
  objects.push_back(Value("leaf"));
  EXPECT_EQ(decoded(archiveOf(objects, Value(Uid{2}))), "NONE");
  // A shared (not cyclic) reference is fine.
  EXPECT_EQ(decoded(archiveOf(
                {Value("$null"),
                 Value(Dictionary{{"NS.objects", Value(Array{Value(Uid{3}), Value(Uid{3})})},
                                  {"$class", Value(Uid{2})}}),
                 cls("NSArray"), Value("s")})),
            "(\n    s,\n    s\n)");
}

}  // namespace
}  // namespace platform::foundation
