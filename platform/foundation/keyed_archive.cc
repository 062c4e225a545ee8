#include "platform/foundation/keyed_archive.h"

#include "platform/foundation/property_list.h"

namespace platform::foundation {

namespace {

constexpr const char* kClassNameKey = "$classname";

const std::string* stringAt(const Dictionary& d, std::string_view key) {
  const Value* v = find(d, key);
  return v ? v->asString() : nullptr;
}

// Decodes objects of one archive. Every reference is checked against the
// objects array; the objects being decoded are marked so that a reference back
// to one of them (a cycle) fails instead of recursing forever; and the number
// of decoded objects is bounded, because shared references can make a small
// archive expand exponentially when each reference is decoded as a copy.
class Decoder {
 public:
  explicit Decoder(const Array& objects) : objects_(objects), inProgress_(objects.size(), false) {}

  std::optional<Unarchived> root(const Value& reference) {
    const Uid* uid = reference.asUid();
    if (!uid || !inRange(*uid)) return std::nullopt;
    const Value& entry = objects_[uid->index];
    if (const Dictionary* d = entry.asDictionary(); d && find(*d, "$class")) {
      auto cls = classOf(*d);
      if (!cls) return std::nullopt;
      if (!isPropertyListClass(cls->className)) {
        auto object = decodeObject(uid->index, *d, *cls, 0);
        if (!object) return std::nullopt;
        return Unarchived{Value(), std::move(*object)};
      }
    }
    auto value = decode(reference, 0);
    if (!value) return std::nullopt;
    return Unarchived{std::move(*value), std::nullopt};
  }

 private:
  struct ClassInfo {
    std::string className;
    std::vector<std::string> classes;
  };

  bool inRange(Uid uid) const { return uid.index < objects_.size(); }

  static bool isPropertyListClass(const std::string& name) {
    for (const char* n : {"NSDictionary", "NSMutableDictionary", "NSArray", "NSMutableArray",
                          "NSSet", "NSMutableSet", "NSString", "NSMutableString", "NSDate",
                          "NSData", "NSMutableData", "NSNumber", "NSNull"}) {
      if (name == n) return true;
    }
    return false;
  }

  std::optional<ClassInfo> classOf(const Dictionary& object) const {
    const Value* ref = find(object, "$class");
    const Uid* uid = ref ? ref->asUid() : nullptr;
    if (!uid || !inRange(*uid)) return std::nullopt;
    const Dictionary* cls = objects_[uid->index].asDictionary();
    if (!cls) return std::nullopt;
    const std::string* name = stringAt(*cls, kClassNameKey);
    if (!name) return std::nullopt;
    ClassInfo info{*name, {}};
    if (const Value* chain = find(*cls, "$classes"); chain && chain->asArray()) {
      for (const Value& c : *chain->asArray()) {
        if (c.asString()) info.classes.push_back(*c.asString());
      }
    }
    return info;
  }

  // A reference or an inline value.
  std::optional<Value> decode(const Value& v, int depth) {
    if (++decoded_ > kMaxArchiveObjects || depth > kMaxArchiveDepth) return std::nullopt;
    const Uid* uid = v.asUid();
    if (!uid) return v.asDictionary() || v.asArray() ? std::nullopt : std::optional<Value>(v);
    if (!inRange(*uid) || inProgress_[uid->index]) return std::nullopt;
    const Value& entry = objects_[uid->index];
    if (const std::string* s = entry.asString(); s && *s == "$null") return Value();
    if (entry.asUid()) return std::nullopt;
    const Dictionary* d = entry.asDictionary();
    if (!d) {
      if (entry.asArray()) return std::nullopt;
      return entry;
    }
    auto cls = classOf(*d);
    if (!cls) return std::nullopt;
    inProgress_[uid->index] = true;
    std::optional<Value> out = decodeClass(uid->index, *d, *cls, depth);
    inProgress_[uid->index] = false;
    return out;
  }

  std::optional<Value> decodeClass(std::size_t index, const Dictionary& d, const ClassInfo& cls,
                                   int depth) {
    const std::string& name = cls.className;
    if (name == "NSDictionary" || name == "NSMutableDictionary") {
      const Value* keys = find(d, "NS.keys");
      const Value* objects = find(d, "NS.objects");
      if (!keys || !objects || !keys->asArray() || !objects->asArray() ||
          keys->asArray()->size() != objects->asArray()->size()) {
        return std::nullopt;
      }
      Dictionary out;
      for (std::size_t i = 0; i < keys->asArray()->size(); ++i) {
        auto key = decode((*keys->asArray())[i], depth + 1);
        if (!key) return std::nullopt;
        auto value = decode((*objects->asArray())[i], depth + 1);
        if (!value) return std::nullopt;
        // Keys of the property-list world are strings; others print as "%@" does.
        std::string k = key->asString() ? *key->asString() : key->description();
        out.insert_or_assign(std::move(k), std::move(*value));
      }
      return Value(std::move(out));
    }
    if (name == "NSArray" || name == "NSMutableArray" || name == "NSSet" ||
        name == "NSMutableSet") {
      const Value* objects = find(d, "NS.objects");
      if (!objects || !objects->asArray()) return std::nullopt;
      Array out;
      for (const Value& item : *objects->asArray()) {
        auto value = decode(item, depth + 1);
        if (!value) return std::nullopt;
        out.push_back(std::move(*value));
      }
      return Value(std::move(out));
    }
    if (name == "NSString" || name == "NSMutableString") {
      if (const std::string* s = stringAt(d, "NS.string")) return Value(*s);
      if (const Value* b = find(d, "NS.bytes"); b && b->asData()) {
        return Value(std::string(b->asData()->begin(), b->asData()->end()));
      }
      return std::nullopt;
    }
    if (name == "NSDate") {
      const Value* t = find(d, "NS.time");
      if (t && t->asReal()) return Value(Date{*t->asReal()});
      if (t && t->asInteger()) return Value(Date{static_cast<double>(*t->asInteger())});
      return std::nullopt;
    }
    if (name == "NSData" || name == "NSMutableData") {
      const Value* data = find(d, "NS.data");
      if (data && data->asData()) return Value(*data->asData());
      return std::nullopt;
    }
    if (name == "NSNull") return Value();
    auto object = decodeObject(index, d, cls, depth);
    if (!object) return std::nullopt;
    object->fields.insert_or_assign(kClassNameKey, Value(object->className));
    return Value(std::move(object->fields));
  }

  // An object of another class: its fields decoded one by one.
  std::optional<ArchivedObject> decodeObject(std::size_t index, const Dictionary& d,
                                             const ClassInfo& cls, int depth) {
    bool wasInProgress = inProgress_[index];
    inProgress_[index] = true;
    ArchivedObject object{cls.className, cls.classes, {}};
    bool ok = true;
    for (const auto& [key, value] : d) {
      if (key == "$class") continue;
      auto field = decode(value, depth + 1);
      if (!field) {
        ok = false;
        break;
      }
      object.fields.insert_or_assign(key, std::move(*field));
    }
    inProgress_[index] = wasInProgress;
    if (!ok) return std::nullopt;
    return object;
  }

  const Array& objects_;
  std::vector<bool> inProgress_;
  std::size_t decoded_ = 0;
};

// Builds the objects array of an archive, one entry per value written.
class Encoder {
 public:
  Encoder() { objects_.push_back(Value("$null")); }

  Uid encode(const Value& v) {
    switch (v.kind()) {
      case Value::Kind::Null:
        return Uid{0};
      case Value::Kind::Array: {
        Uid self = reserve();
        Array refs;
        for (const Value& item : *v.asArray()) refs.push_back(Value(encode(item)));
        objects_[self.index] =
            Value(Dictionary{{"NS.objects", Value(std::move(refs))},
                             {"$class", Value(classRef("NSArray", {"NSArray", "NSObject"}))}});
        return self;
      }
      case Value::Kind::Dictionary: {
        const Dictionary& d = *v.asDictionary();
        if (const std::string* cls = stringAt(d, kClassNameKey)) {
          Dictionary fields = d;
          fields.erase(kClassNameKey);
          return encodeObject(ArchivedObject{*cls, {}, std::move(fields)});
        }
        Uid self = reserve();
        Array keys, objects;
        for (const auto& [k, item] : d) {
          keys.push_back(Value(encode(Value(k))));
          objects.push_back(Value(encode(item)));
        }
        objects_[self.index] = Value(
            Dictionary{{"NS.keys", Value(std::move(keys))},
                       {"NS.objects", Value(std::move(objects))},
                       {"$class", Value(classRef("NSDictionary", {"NSDictionary", "NSObject"}))}});
        return self;
      }
      case Value::Kind::Date: {
        Uid self = reserve();
        objects_[self.index] =
            Value(Dictionary{{"NS.time", Value(v.asDate()->sinceReferenceDate)},
                             {"$class", Value(classRef("NSDate", {"NSDate", "NSObject"}))}});
        return self;
      }
      default: {
        Uid self = reserve();
        objects_[self.index] = v;
        return self;
      }
    }
  }

  Uid encodeObject(const ArchivedObject& object) {
    Uid self = reserve();
    Dictionary entry;
    for (const auto& [key, value] : object.fields) entry[key] = Value(encode(value));
    std::vector<std::string> classes = object.classes;
    if (classes.empty() || classes.front() != object.className) {
      classes.insert(classes.begin(), object.className);
    }
    if (classes.back() != "NSObject") classes.push_back("NSObject");
    entry["$class"] = Value(classRef(object.className, classes));
    objects_[self.index] = Value(std::move(entry));
    return self;
  }

  Bytes finish(Uid root) {
    Dictionary archive{{"$archiver", Value("NSKeyedArchiver")},
                       {"$version", Value(100000)},
                       {"$top", Value(Dictionary{{"root", Value(root)}})},
                       {"$objects", Value(std::move(objects_))}};
    return serializePropertyList(Value(std::move(archive)), PropertyListFormat::Binary);
  }

 private:
  Uid reserve() {
    objects_.resize(objects_.size() + 1);
    return Uid{objects_.size() - 1};
  }

  // The class entry, shared by every object of the class.
  Uid classRef(const std::string& name, const std::vector<std::string>& chain) {
    auto it = classes_.find(name);
    if (it != classes_.end()) return it->second;
    Array names;
    for (const auto& c : chain) names.push_back(Value(c));
    objects_.push_back(
        Value(Dictionary{{kClassNameKey, Value(name)}, {"$classes", Value(std::move(names))}}));
    Uid uid{objects_.size() - 1};
    classes_.emplace(name, uid);
    return uid;
  }

  Array objects_;
  std::map<std::string, Uid> classes_;
};

}  // namespace

std::optional<Unarchived> unarchiveObjectWithData(std::span<const std::uint8_t> bytes) {
  auto archive = parsePropertyList(bytes);
  if (!archive || !archive->asDictionary()) return std::nullopt;
  const Dictionary& a = *archive->asDictionary();
  const std::string* archiver = stringAt(a, "$archiver");
  const Value* top = find(a, "$top");
  const Value* objects = find(a, "$objects");
  if (!archiver || *archiver != "NSKeyedArchiver" || !top || !top->asDictionary() || !objects ||
      !objects->asArray()) {
    return std::nullopt;
  }
  const Value* root = find(*top->asDictionary(), "root");
  if (!root) return std::nullopt;
  return Decoder(*objects->asArray()).root(*root);
}

Bytes archivedDataWithRootObject(const Value& root) {
  Encoder e;
  Uid uid = e.encode(root);
  return e.finish(uid);
}

Bytes archivedDataWithRootObject(const ArchivedObject& root) {
  Encoder e;
  Uid uid = e.encodeObject(root);
  return e.finish(uid);
}

}  // namespace platform::foundation
