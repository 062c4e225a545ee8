#include "hosts/springboard/post_watch.h"

#include <memory>
#include <string>

#include "platform/notify/notify_center.h"

namespace hosts {

namespace notify = platform::notify;

namespace {

std::function<void(std::string_view)>& watcherSlot() {
  static std::function<void(std::string_view)> watcher;
  return watcher;
}

class WatchingCenter final : public notify::NotifyCenter {
 public:
  explicit WatchingCenter(std::shared_ptr<NotifyCenter> inner) : inner_(std::move(inner)) {}

  void postNotification(std::string_view name) override {
    if (watcherSlot()) watcherSlot()(name);
    if (inner_) inner_->postNotification(name);
  }
  ObserverId addObserver(const void* observer, notify::NotificationCallback callback,
                         std::string name, notify::SuspensionBehavior behavior) override {
    return inner_ ? inner_->addObserver(observer, std::move(callback), std::move(name), behavior)
                  : 0;
  }
  void removeObserver(ObserverId id) override {
    if (inner_) inner_->removeObserver(id);
  }

 private:
  std::shared_ptr<NotifyCenter> inner_;
};

}  // namespace

void installPostWatch() {
  notify::setDarwinNotifyCenter(std::make_shared<WatchingCenter>(notify::darwinNotifyCenter()));
}

WatchingPosts::WatchingPosts(std::function<void(std::string_view)> watcher) {
  watcherSlot() = std::move(watcher);
}

WatchingPosts::~WatchingPosts() { watcherSlot() = nullptr; }

}  // namespace hosts
