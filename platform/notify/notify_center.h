// The Darwin notify centre: named notifications across processes.
//
// A notification carries nothing but its name. A post reaches every observer of
// that name in every process of the device, the poster included. Observers are
// called on the main run loop of their process. Observing and posting happen on
// that loop's thread.
//
// Suspension behaviour decides what happens to posts that arrive together (for
// instance while the process was stopped): DeliverImmediately calls the observer
// once per post; Coalesce calls it once for all posts of the name that are waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runloop/run_loop.h"

namespace platform::notify {

enum class SuspensionBehavior {
  Drop = 1,
  Coalesce = 2,
  Hold = 3,
  DeliverImmediately = 4,
};

class NotifyCenter;

// CFNotificationCallback: centre, observer, name, object, user information. The
// Darwin centre always passes a null object and null user information.
using NotificationCallback =
    std::function<void(NotifyCenter* center, const void* observer, std::string_view name,
                       const void* object, const void* userInfo)>;

// What a poster needs: nothing but posting.
class NotificationPoster {
 public:
  virtual ~NotificationPoster() = default;
  // CFNotificationCenterPostNotification with no object, no user information and
  // deliver-immediately set. Posting never fails from the caller's view; a post
  // that cannot reach the bus is logged.
  virtual void postNotification(std::string_view name) = 0;
};

class NotifyCenter : public NotificationPoster {
 public:
  using ObserverId = std::uint64_t;

  // CFNotificationCenterAddObserver. The observer stays until removed; the
  // centre owns the callback.
  virtual ObserverId addObserver(const void* observer, NotificationCallback callback,
                                 std::string name, SuspensionBehavior behavior) = 0;
  virtual void removeObserver(ObserverId id) = 0;
};

// CFNotificationCenterGetDarwinNotifyCenter: the process's centre, set by the host.
std::shared_ptr<NotifyCenter> darwinNotifyCenter();
void setDarwinNotifyCenter(std::shared_ptr<NotifyCenter> center);

// The device's bus address: "unix:path=<root>/private/var/run/bus.socket".
std::string deviceBusAddress();
inline constexpr const char* kBusSocketDevicePath = "/private/var/run/bus.socket";

// The Linux centre: a connection to the device's bus daemon at `address`,
// attached to `loop` (which must be the sd-event loop). Throws platform::Error
// when the bus cannot be reached.
std::shared_ptr<NotifyCenter> connectDarwinNotifyCenter(const std::string& address,
                                                        runloop::RunLoop& loop);

}  // namespace platform::notify
