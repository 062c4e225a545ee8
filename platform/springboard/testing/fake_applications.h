// Springboard applications for tests: a registry that offers one of the two
// lookups, an application whose successive state readings are scripted and
// whose resumes are counted, and a UIApplication that records launches.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/springboard/applications.h"

namespace platform::springboard::testing {

class FakeApplication final : public SBApplication {
 public:
  explicit FakeApplication(std::string id) : id_(std::move(id)) {}
  std::string bundleIdentifier() const override { return id_; }
  // Answers the scripted states in turn, then the last one for ever.
  int applicationState() const override {
    ++stateReadings;
    if (states.size() > 1) {
      int s = states.front();
      states.pop_front();
      return s;
    }
    return states.empty() ? SBApplicationStateNotRunning : states.front();
  }
  std::optional<std::string> _stringForApplicationState(int state) const override {
    return "state-" + std::to_string(state);
  }
  void resumeForContentAvailable() override {
    ++resumes;
    if (whenResumed) whenResumed();
  }

  mutable std::deque<int> states;
  mutable int stateReadings = 0;
  int resumes = 0;
  // Run at each resume: a test notes there what had happened before it.
  std::function<void()> whenResumed;

 private:
  std::string id_;
};

class FakeRegistry final : public SBApplicationRegistry {
 public:
  bool respondsToSelector(std::string_view selector) const override {
    return (byDisplayIdentifier && selector == "applicationWithDisplayIdentifier:") ||
           (byBundleIdentifier && selector == "applicationWithBundleIdentifier:");
  }
  std::shared_ptr<SBApplication> applicationWithDisplayIdentifier(const std::string& id) override {
    lookups.push_back("display:" + id);
    return installed && id == installed->bundleIdentifier() ? installed : nullptr;
  }
  std::shared_ptr<SBApplication> applicationWithBundleIdentifier(const std::string& id) override {
    lookups.push_back("bundle:" + id);
    return installed && id == installed->bundleIdentifier() ? installed : nullptr;
  }

  bool byDisplayIdentifier = false;
  bool byBundleIdentifier = true;
  std::shared_ptr<FakeApplication> installed;
  std::vector<std::string> lookups;
};

class FakeUIApplication final : public UIApplication {
 public:
  bool launchApplicationWithIdentifier(const std::string& id, bool suspended) override {
    launches.push_back(id + (suspended ? " suspended" : " foreground"));
    return true;
  }
  std::vector<std::string> launches;
};

}  // namespace platform::springboard::testing
