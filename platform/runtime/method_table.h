// Instance methods dispatched through a per-class table of implementations, so
// that a method can be replaced at run time and the replacement handed the
// implementation it displaced (MSHookMessageEx).
//
// An implementation is a std::function whose signature is fixed per selector;
// asking for a selector with another signature is a programming error and
// throws platform::Error. Tables are used from the thread that owns the class.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/runtime/class_registry.h"

namespace platform::runtime {

class MethodTable {
 public:
  template <class Sig>
  void define(std::string selector, std::function<Sig> implementation) {
    methods_[std::move(selector)] = std::move(implementation);
  }

  bool respondsTo(std::string_view selector) const {
    return methods_.find(selector) != methods_.end();
  }

  // The current implementation of `selector`; an empty function when absent.
  template <class Sig>
  std::function<Sig> implementation(std::string_view selector) const {
    auto it = methods_.find(selector);
    if (it == methods_.end()) return {};
    const auto* f = std::any_cast<std::function<Sig>>(&it->second);
    if (!f) throw Error("method " + std::string(selector) + " called with the wrong signature");
    return *f;
  }

  // Installs `replacement` and answers the implementation it displaces (empty
  // when the selector had none).
  template <class Sig>
  std::function<Sig> replace(std::string_view selector, std::function<Sig> replacement) {
    std::function<Sig> displaced = implementation<Sig>(selector);
    methods_[std::string(selector)] = std::move(replacement);
    return displaced;
  }

 private:
  std::map<std::string, std::any, std::less<>> methods_;
};

// A class whose instances dispatch their methods through a table.
class ObjCClass : public Class {
 public:
  MethodTable& methods() { return methods_; }
  const MethodTable& methods() const { return methods_; }

 private:
  MethodTable methods_;
};

// MSHookMessageEx: replaces the instance method `selector` of `cls` and answers
// the displaced implementation.
template <class Sig>
std::function<Sig> MSHookMessageEx(ObjCClass& cls, std::string_view selector,
                                   std::function<Sig> replacement) {
  return cls.methods().replace<Sig>(selector, std::move(replacement));
}

}  // namespace platform::runtime
