#include "platform/foundation/property_list.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/foundation/xml_text.h"

namespace platform::foundation {

namespace {

struct PlistFree {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Nesting deeper than this is refused: conversion is recursive, and no real
// property list nests anywhere near it.
constexpr int kMaxDepth = 256;

std::optional<Value> fromPlist(plist_t node, int depth) {
  if (node == nullptr || depth > kMaxDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      // Negative integers come back as their two's complement.
      return Value(static_cast<long long>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      // By pointer and length: a binary property list may hold a string with a
      // NUL inside, on which the copying getter stops the process.
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      return Value(std::string(s ? s : "", s ? length : 0));
    }
    case PLIST_KEY: {
      char* s = nullptr;
      plist_get_key_val(node, &s);
      Value v(std::string(s ? s : ""));
      free(s);
      return v;
    }
    case PLIST_DATA: {
      char* d = nullptr;
      uint64_t len = 0;
      plist_get_data_val(node, &d, &len);
      Data data(reinterpret_cast<uint8_t*>(d), reinterpret_cast<uint8_t*>(d) + (d ? len : 0));
      free(d);
      return Value(std::move(data));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return Value(Date{sec + usec / 1e6});
    }
    case PLIST_UID: {
      uint64_t u = 0;
      plist_get_uid_val(node, &u);
      return Value(Uid{u});
    }
    case PLIST_ARRAY: {
      Array array;
      uint32_t n = plist_array_get_size(node);
      array.reserve(n);
      for (uint32_t i = 0; i < n; ++i) {
        auto item = fromPlist(plist_array_get_item(node, i), depth + 1);
        if (!item) return std::nullopt;
        array.push_back(std::move(*item));
      }
      return Value(std::move(array));
    }
    case PLIST_DICT: {
      Dictionary dictionary;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (item == nullptr) {
          free(key);
          break;
        }
        auto value = fromPlist(item, depth + 1);
        std::string k(key ? key : "");
        free(key);
        if (!value) {
          free(it);
          return std::nullopt;
        }
        dictionary.insert_or_assign(std::move(k), std::move(*value));
      }
      free(it);
      return Value(std::move(dictionary));
    }
    default:
      return std::nullopt;
  }
}

// `xml`: the list is written as XML, whose text holds fewer characters than a
// binary list's strings.
plist_t toPlist(const Value& v, bool xml) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return nullptr;
    case Value::Kind::Boolean:
      return plist_new_bool(*v.asBoolean() ? 1 : 0);
    case Value::Kind::Integer:
      return plist_new_uint(static_cast<uint64_t>(*v.asInteger()));
    case Value::Kind::Real:
      return plist_new_real(*v.asReal());
    case Value::Kind::String:
      // Every string written as XML is one that every XML reader accepts.
      return plist_new_string(xml ? textXmlCanHold(*v.asString()).c_str() : v.asString()->c_str());
    case Value::Kind::Data: {
      const auto& d = *v.asData();
      return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Value::Kind::Date: {
      double t = v.asDate()->sinceReferenceDate;
      double sec = std::floor(t);
      return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>((t - sec) * 1e6));
    }
    case Value::Kind::Uid:
      return plist_new_uid(v.asUid()->index);
    case Value::Kind::Array: {
      plist_t array = plist_new_array();
      for (const auto& item : *v.asArray()) {
        if (plist_t p = toPlist(item, xml)) plist_array_append_item(array, p);
      }
      return array;
    }
    case Value::Kind::Dictionary: {
      plist_t dict = plist_new_dict();
      for (const auto& [key, item] : *v.asDictionary()) {
        if (plist_t p = toPlist(item, xml)) {
          plist_dict_set_item(dict, xml ? textXmlCanHold(key).c_str() : key.c_str(), p);
        }
      }
      return dict;
    }
  }
  return nullptr;
}

// An exclusive flock on the lock file beside `path`, released on destruction.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& path) {
    std::string lockPath = path.string() + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    int rc;
    while ((rc = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Whether the lock is held; a writer that cannot take it must not write.
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Big-endian unsigned integer of `size` bytes at `at`; nullopt past the end.
std::optional<std::uint64_t> readBigEndian(std::span<const std::uint8_t> b, std::uint64_t at,
                                           std::uint64_t size) {
  if (size == 0 || size > 8 || at > b.size() || size > b.size() - at) return std::nullopt;
  std::uint64_t v = 0;
  for (std::uint64_t i = 0; i < size; ++i) v = (v << 8) | b[at + i];
  return v;
}

// Whether a binary property list has a dictionary key with a NUL inside. The
// library stops the process when it hands out such a key, so these lists are
// refused before it reads them. Anything this scan cannot follow is left to the
// library's own checks.
bool binaryKeyHoldsNul(std::span<const std::uint8_t> b) {
  if (b.size() < 40 || std::memcmp(b.data(), "bplist0", 7) != 0) return false;
  const std::uint64_t trailer = b.size() - 32;
  const std::uint64_t offsetSize = b[trailer + 6], refSize = b[trailer + 7];
  auto count = readBigEndian(b, trailer + 8, 8);
  auto table = readBigEndian(b, trailer + 24, 8);
  if (!count || !table || *count > b.size()) return false;
  auto offsetOf = [&](std::uint64_t object) {
    return readBigEndian(b, *table + object * offsetSize, offsetSize);
  };
  // The length that follows a marker: its low nibble, or an integer object.
  auto lengthAt = [&](std::uint64_t at) -> std::optional<std::pair<std::uint64_t, std::uint64_t>> {
    if (at >= b.size()) return std::nullopt;
    std::uint64_t n = b[at] & 0x0F;
    if (n != 0x0F) return std::pair{n, at + 1};
    if (at + 1 >= b.size() || (b[at + 1] & 0xF0) != 0x10) return std::nullopt;
    std::uint64_t size = std::uint64_t(1) << (b[at + 1] & 0x0F);
    auto v = readBigEndian(b, at + 2, size);
    if (!v) return std::nullopt;
    return std::pair{*v, at + 2 + size};
  };
  auto stringHoldsNul = [&](std::uint64_t object) {
    auto at = offsetOf(object);
    if (!at || *at >= b.size()) return false;
    std::uint8_t type = b[*at] & 0xF0;
    auto length = lengthAt(*at);
    if (!length || (type != 0x50 && type != 0x60)) return false;
    std::uint64_t unit = type == 0x60 ? 2 : 1;
    auto [n, start] = *length;
    if (n > b.size() || start > b.size() || n * unit > b.size() - start) return false;
    for (std::uint64_t i = 0; i < n; ++i) {
      if (b[start + i * unit] == 0 && b[start + i * unit + unit - 1] == 0) return true;
    }
    return false;
  };
  for (std::uint64_t object = 0; object < *count; ++object) {
    auto at = offsetOf(object);
    if (!at || *at >= b.size() || (b[*at] & 0xF0) != 0xD0) continue;
    auto length = lengthAt(*at);
    if (!length || length->first > b.size()) continue;
    for (std::uint64_t k = 0; k < length->first; ++k) {
      auto key = readBigEndian(b, length->second + k * refSize, refSize);
      if (key && *key < *count && stringHoldsNul(*key)) return true;
    }
  }
  return false;
}

// XML forbids the character NUL, raw or as a reference ("&#0;", "&#x00;").
bool xmlHoldsNul(std::span<const std::uint8_t> b) {
  std::string_view text(reinterpret_cast<const char*>(b.data()), b.size());
  if (text.find('\0') != std::string_view::npos) return true;
  for (std::size_t at = text.find("&#"); at != std::string_view::npos;
       at = text.find("&#", at + 2)) {
    std::size_t i = at + 2;
    bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    std::size_t digits = i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i > digits && i < text.size() && text[i] == ';') return true;
  }
  return false;
}

}  // namespace

std::optional<Value> parsePropertyList(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > kMaxPropertyListBytes) return std::nullopt;
  if (binaryKeyHoldsNul(bytes) || (bytes[0] != 'b' && xmlHoldsNul(bytes))) return std::nullopt;
  plist_t raw = nullptr;
  plist_from_memory(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size()), &raw);
  PlistPtr root(raw);
  if (!root) return std::nullopt;
  return fromPlist(root.get(), 0);
}

Bytes serializePropertyList(const Value& value, PropertyListFormat format) {
  PlistPtr root(toPlist(value, format == PropertyListFormat::Xml));
  if (!root) return {};
  char* out = nullptr;
  uint32_t len = 0;
  if (format == PropertyListFormat::Xml) {
    plist_to_xml(root.get(), &out, &len);
  } else {
    plist_to_bin(root.get(), &out, &len);
  }
  Bytes bytes(reinterpret_cast<uint8_t*>(out), reinterpret_cast<uint8_t*>(out) + (out ? len : 0));
  free(out);
  return bytes;
}

std::optional<Dictionary> readDictionaryFile(const std::filesystem::path& path) {
  auto bytes = readFile(path, kMaxPropertyListBytes);
  if (!bytes) return std::nullopt;
  auto value = parsePropertyList(*bytes);
  if (!value || !value->asDictionary()) return std::nullopt;
  return std::move(*value->asDictionary());
}

bool writeDictionaryFileAtomically(const std::filesystem::path& path, const Dictionary& dictionary,
                                   FolderSync folder) {
  Bytes bytes = serializePropertyList(Value(dictionary), PropertyListFormat::Xml);
  return !bytes.empty() && writeFileAtomically(path, bytes, folder);
}

UpdateResult updateDictionaryFile(const std::filesystem::path& path,
                                  const std::function<void(Dictionary&)>& change,
                                  FolderSync folder) {
  FileLock lock(path);
  UpdateResult result;
  if (!lock.held()) {
    result.lockFailed = true;
    return result;
  }
  Dictionary dictionary;
  if (auto existing = readDictionaryFile(path)) {
    dictionary = std::move(*existing);
  } else if (fileExistsAtPath(path)) {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
    std::filesystem::path aside = path.string() + ".unreadable-" + std::to_string(seconds);
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    if (!ec) result.keptAside = aside;
  }
  change(dictionary);
  result.written = writeDictionaryFileAtomically(path, dictionary, folder);
  return result;
}

}  // namespace platform::foundation
