#include "platform/notify/notify_center.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <map>
#include <vector>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"

namespace platform::notify {

namespace {

// Every post is one broadcast signal on this path and interface, carrying the
// notification's name as its only argument.
constexpr const char* kPath = "/org/pxviber/notify";
constexpr const char* kInterface = "org.pxviber.Notify";
constexpr const char* kMember = "Post";

std::shared_ptr<NotifyCenter>& centerSlot() {
  static std::shared_ptr<NotifyCenter> center;
  return center;
}

Error busError(const std::string& context, int r) { return SystemError(context, -r); }

class BusNotifyCenter final : public NotifyCenter,
                              public std::enable_shared_from_this<BusNotifyCenter> {
 public:
  BusNotifyCenter(const std::string& address, runloop::RunLoop& loop) : loop_(loop) {
    auto* event = static_cast<sd_event*>(loop.nativeHandle());
    if (event == nullptr) throw Error("the notify centre needs the sd-event run loop");
    int r = sd_bus_new(&bus_);
    if (r < 0) throw busError("sd_bus_new", r);
    if ((r = sd_bus_set_address(bus_, address.c_str())) < 0 ||
        (r = sd_bus_set_bus_client(bus_, 1)) < 0 || (r = sd_bus_start(bus_)) < 0) {
      sd_bus_unref(bus_);
      throw busError("connect to the device bus " + address, r);
    }
    r = sd_bus_match_signal(bus_, &match_, nullptr, kPath, kInterface, kMember,
                            &BusNotifyCenter::onSignal, this);
    if (r < 0) throw busError("sd_bus_match_signal", r);
    r = sd_bus_attach_event(bus_, event, SD_EVENT_PRIORITY_NORMAL);
    if (r < 0) throw busError("sd_bus_attach_event", r);
  }

  ~BusNotifyCenter() override {
    sd_bus_slot_unref(match_);
    sd_bus_flush_close_unref(bus_);
  }

  void postNotification(std::string_view name) override {
    std::string n(name);
    int r = sd_bus_emit_signal(bus_, kPath, kInterface, kMember, "s", n.c_str());
    // Flush now: the post must leave before anything that follows it (an exit,
    // a launch) can overtake it.
    if (r >= 0) r = sd_bus_flush(bus_);
    if (r < 0) foundation::NSLog("notify: could not post {}: {}", n, busError("", r).what());
  }

  ObserverId addObserver(const void* observer, NotificationCallback callback, std::string name,
                         SuspensionBehavior behavior) override {
    ObserverId id = ++next_;
    observers_[id] = std::make_shared<Observer>(
        Observer{observer, std::move(callback), std::move(name), behavior, false});
    return id;
  }

  void removeObserver(ObserverId id) override { observers_.erase(id); }

 private:
  struct Observer {
    const void* observer;
    NotificationCallback callback;
    std::string name;
    SuspensionBehavior behavior;
    bool pending;  // a coalesced delivery is queued
  };

  static int onSignal(sd_bus_message* m, void* self, sd_bus_error*) {
    const char* name = nullptr;
    if (sd_bus_message_read(m, "s", &name) < 0 || name == nullptr) return 0;
    static_cast<BusNotifyCenter*>(self)->deliver(name);
    return 0;
  }

  void deliver(const std::string& name) {
    // Copy the matching observers first: a callback may add or remove observers.
    std::vector<std::shared_ptr<Observer>> matching;
    for (auto& [id, o] : observers_) {
      if (o->name == name) matching.push_back(o);
    }
    for (auto& o : matching) {
      if (o->behavior == SuspensionBehavior::Coalesce) {
        // Posts of this name that are already waiting on the bus are handled
        // before queued tasks run, so they all fold into this one delivery.
        if (o->pending) continue;
        o->pending = true;
        std::weak_ptr<Observer> weak = o;
        loop_.post([this, weak, name] {
          auto observer = weak.lock();
          if (!observer) return;
          observer->pending = false;
          observer->callback(this, observer->observer, name, nullptr, nullptr);
        });
      } else {
        o->callback(this, o->observer, name, nullptr, nullptr);
      }
    }
  }

  runloop::RunLoop& loop_;
  sd_bus* bus_ = nullptr;
  sd_bus_slot* match_ = nullptr;
  std::map<ObserverId, std::shared_ptr<Observer>> observers_;
  ObserverId next_ = 0;
};

}  // namespace

std::shared_ptr<NotifyCenter> darwinNotifyCenter() { return centerSlot(); }
void setDarwinNotifyCenter(std::shared_ptr<NotifyCenter> center) {
  centerSlot() = std::move(center);
}

std::string deviceBusAddress() {
  return "unix:path=" + foundation::hostPath(kBusSocketDevicePath).string();
}

std::shared_ptr<NotifyCenter> connectDarwinNotifyCenter(const std::string& address,
                                                        runloop::RunLoop& loop) {
  return std::make_shared<BusNotifyCenter>(address, loop);
}

}  // namespace platform::notify
