// Classes looked up by name at run time (objc_getClass).
//
// A platform framework registers the classes it provides when its host wires it;
// code that may run where a class is absent looks it up by name and gets nothing
// there. A class object is the holder of the class's class methods
// (sharedInstance, for example); the caller casts it to the interface it expects.
//
// The registry is process-wide and used from the main thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform::runtime {

class Class {
 public:
  virtual ~Class() = default;
  virtual std::string name() const = 0;
};

// The class registered under `name`, or nullptr.
Class* objc_getClass(std::string_view name);

// objc_getClass, then a cast to the expected interface; nullptr when the class
// is absent or is not of that kind.
template <class T>
T* lookUpClass(std::string_view name) {
  return dynamic_cast<T*>(objc_getClass(name));
}

// Registers a class under its name, replacing one of the same name.
void registerClass(std::shared_ptr<Class> cls);
void unregisterClass(std::string_view name);
void unregisterAllClasses();

}  // namespace platform::runtime
