// The springboard's applications: the registry behind SBApplicationController,
// the application objects with their states, and UIApplication's launching.
//
// An application's state is that of its process: not running (1), suspended, that
// is stopped (2), running in the background (4), running in the foreground (8).
// Every call happens on the springboard's main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/class_registry.h"

namespace platform::springboard {

enum SBApplicationState : int {
  SBApplicationStateNotRunning = 1,
  SBApplicationStateSuspended = 2,
  SBApplicationStateBackground = 4,
  SBApplicationStateForeground = 8,
};

// An installed application as the springboard knows it.
class SBApplication {
 public:
  virtual ~SBApplication() = default;
  virtual std::string bundleIdentifier() const = 0;
  // The state now, read afresh at each call.
  virtual int applicationState() const = 0;
  // A readable name of a state, for log lines; nullopt for a state without one.
  virtual std::optional<std::string> _stringForApplicationState(int state) const = 0;
  // Lets a suspended or background application run in the background for a while,
  // long enough to receive pending notifications; it is suspended again afterwards.
  virtual void resumeForContentAvailable() = 0;
};

// What [SBApplicationController sharedInstance] answers. A registry offers one of
// the two lookups, depending on the iOS version; respondsToSelector says which.
class SBApplicationRegistry {
 public:
  virtual ~SBApplicationRegistry() = default;
  virtual bool respondsToSelector(std::string_view selector) const = 0;
  // nullptr for an application that is not installed, or a lookup not offered.
  virtual std::shared_ptr<SBApplication> applicationWithDisplayIdentifier(
      const std::string& id) = 0;
  virtual std::shared_ptr<SBApplication> applicationWithBundleIdentifier(const std::string& id) = 0;
};

// The class "SBApplicationController".
class SBApplicationControllerClass : public runtime::Class {
 public:
  explicit SBApplicationControllerClass(std::shared_ptr<SBApplicationRegistry> registry)
      : registry_(std::move(registry)) {}
  std::string name() const override { return "SBApplicationController"; }
  std::shared_ptr<SBApplicationRegistry> sharedInstance() const { return registry_; }

 private:
  std::shared_ptr<SBApplicationRegistry> registry_;
};

// [UIApplication sharedApplication], the part the springboard offers tweaks.
class UIApplication {
 public:
  virtual ~UIApplication() = default;
  // launchApplicationWithIdentifier:suspended: starts the application; with
  // `suspended` it runs in the background instead of the foreground. Answers
  // whether a launch was started.
  virtual bool launchApplicationWithIdentifier(const std::string& identifier, bool suspended) = 0;
};

std::shared_ptr<UIApplication> sharedApplication();
void setSharedApplication(std::shared_ptr<UIApplication> application);

}  // namespace platform::springboard
