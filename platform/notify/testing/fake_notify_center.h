// A notify centre for tests: records every post and every observation in the
// order they happen, and delivers each post to the observers of its name on the
// given run loop, as the bus does.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/notify/notify_center.h"

namespace platform::notify::testing {

class FakeNotifyCenter final : public NotifyCenter {
 public:
  explicit FakeNotifyCenter(runloop::RunLoop& loop) : loop_(loop) {}

  void postNotification(std::string_view name) override {
    posts_.emplace_back(name);
    events_.push_back("post " + std::string(name));
    std::string n(name);
    loop_.post([this, n] { deliver(n); });
  }

  ObserverId addObserver(const void* observer, NotificationCallback callback, std::string name,
                         SuspensionBehavior behavior) override {
    ObserverId id = ++next_;
    events_.push_back("observe " + describe(name, behavior));
    observers_[id] = Observer{observer, std::move(callback), std::move(name), behavior};
    return id;
  }
  void removeObserver(ObserverId id) override { observers_.erase(id); }

  // Every name posted, in order.
  const std::vector<std::string>& posts() const { return posts_; }
  int postCount(std::string_view name) const {
    int n = 0;
    for (auto& p : posts_) n += p == name;
    return n;
  }
  // The observed names with their behaviour, e.g. "name:2", in the order the
  // observers were added.
  std::vector<std::string> observations() const {
    std::vector<std::string> out;
    for (auto& [id, o] : observers_) out.push_back(describe(o.name, o.behavior));
    return out;
  }
  // Posts and observations as they happened: "post name", "observe name:2".
  const std::vector<std::string>& events() const { return events_; }
  void clearPosts() { posts_.clear(); }

 private:
  struct Observer {
    const void* observer;
    NotificationCallback callback;
    std::string name;
    SuspensionBehavior behavior;
  };

  static std::string describe(const std::string& name, SuspensionBehavior behavior) {
    return name + ":" + std::to_string(static_cast<int>(behavior));
  }

  void deliver(const std::string& name) {
    std::vector<Observer> matching;
    for (auto& [id, o] : observers_) {
      if (o.name == name) matching.push_back(o);
    }
    for (auto& o : matching) o.callback(this, o.observer, name, nullptr, nullptr);
  }

  runloop::RunLoop& loop_;
  std::map<ObserverId, Observer> observers_;
  std::vector<std::string> posts_;
  std::vector<std::string> events_;
  ObserverId next_ = 0;
};

}  // namespace platform::notify::testing
