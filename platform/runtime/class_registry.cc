#include "platform/runtime/class_registry.h"

#include <map>

namespace platform::runtime {

namespace {

std::map<std::string, std::shared_ptr<Class>, std::less<>>& classes() {
  static std::map<std::string, std::shared_ptr<Class>, std::less<>> registry;
  return registry;
}

}  // namespace

Class* objc_getClass(std::string_view name) {
  auto it = classes().find(name);
  return it == classes().end() ? nullptr : it->second.get();
}

void registerClass(std::shared_ptr<Class> cls) {
  std::string name = cls->name();
  classes()[name] = std::move(cls);
}

void unregisterClass(std::string_view name) {
  auto it = classes().find(name);
  if (it != classes().end()) classes().erase(it);
}

void unregisterAllClasses() { classes().clear(); }

}  // namespace platform::runtime
