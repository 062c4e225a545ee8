// The bootstrap: the tweak library's second load-time routine, in every process
// that loads the library.
//
// It takes the process's role from the main bundle's identifier (exactly
// "com.viber" is the messenger, anything else, nil included, the springboard),
// registers a new extension with Couria for "com.viber" (nothing where Couria is
// absent), observes the preferences notification and posts it (the settings
// values are first loaded at that delivery, and the other half reloads too), then
// observes the one notification its role consumes. Nothing is torn down.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/couria/couria.h"
#include "platform/notify/notify_center.h"

namespace tweak {

inline constexpr const char* kMessengerBundleIdentifier = "com.viber";

// What the other subsystems hand to the bootstrap.
struct BootstrapEntryPoints {
  // Makes a new Couria extension object.
  std::function<std::shared_ptr<platform::couria::CouriaExtension>()> newExtension;
  // The messenger's observer of the send notification.
  platform::notify::NotificationCallback sendMessageCallback;
  // Run once, after the settings are first loaded, in the role's process: the
  // messenger sends the requests left pending, the springboard watches their
  // deadlines.
  std::function<void()> messengerSettled;
  std::function<void()> springboardSettled;
};

void runBootstrap(const BootstrapEntryPoints& entryPoints);

// The observer of the preferences notification: ignores its arguments and calls
// loadPreferences(); at its first call, then runs the role's settled entry point.
void preferencesChangedCallback(platform::notify::NotifyCenter* center, const void* observer,
                                std::string_view name, const void* object, const void* userInfo);

// The main bundle's identifier as the bootstrap took it.
const std::optional<std::string>& hostBundleIdentifier();

}  // namespace tweak
