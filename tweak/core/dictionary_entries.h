// Reading and writing single entries of a property-list dictionary, as the
// queue's file and its entries hold them: a missing key and a key of another
// kind both read as absent.
#pragma once

#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace tweak::dictionary_entries {

inline std::optional<platform::foundation::Value> entry(const platform::foundation::Dictionary& d,
                                                        const char* k) {
  const platform::foundation::Value* v = platform::foundation::find(d, k);
  return v ? std::optional<platform::foundation::Value>(*v) : std::nullopt;
}

inline std::optional<std::string> textEntry(const platform::foundation::Dictionary& d,
                                            const char* k) {
  const platform::foundation::Value* v = platform::foundation::find(d, k);
  return v && v->asString() ? std::optional<std::string>(*v->asString()) : std::nullopt;
}

// A time or a count stored as any number (or numeric text, as Foundation reads it).
inline std::optional<double> numberEntry(const platform::foundation::Dictionary& d, const char* k) {
  const platform::foundation::Value* v = platform::foundation::find(d, k);
  if (!v) return std::nullopt;
  if (const double* real = v->asReal()) return *real;
  if (auto integer = v->longLongValue()) return static_cast<double>(*integer);
  return std::nullopt;
}

inline void put(platform::foundation::Dictionary& d, const char* k,
                const std::optional<platform::foundation::Value>& v) {
  if (v) d[k] = *v;
}

inline const platform::foundation::Array* arrayEntry(const platform::foundation::Dictionary& file,
                                                     const char* k) {
  const platform::foundation::Value* v = platform::foundation::find(file, k);
  return v ? v->asArray() : nullptr;
}

inline bool sameValue(const platform::foundation::Dictionary& file, const char* k,
                      const std::optional<platform::foundation::Value>& v) {
  const platform::foundation::Value* held = platform::foundation::find(file, k);
  return v ? held && *held == *v : held == nullptr;
}

}  // namespace tweak::dictionary_entries
