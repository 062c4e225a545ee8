#include "tweak/core/bootstrap.h"

#include <utility>

#include "platform/foundation/bundle.h"
#include "platform/foundation/log.h"
#include "platform/runtime/class_registry.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"

namespace tweak {

namespace foundation = platform::foundation;
namespace notify = platform::notify;

const std::optional<std::string>& hostBundleIdentifier() {
  return processState().hostBundleIdentifier;
}

void preferencesChangedCallback(notify::NotifyCenter*, const void*, std::string_view, const void*,
                                const void*) {
  loadPreferences();
  // After the load: the pending requests are handled with this process's
  // settings (debugMode, showAlerts), not the zero values before it.
  if (auto settled = std::exchange(processState().settled, nullptr)) settled();
}

void runBootstrap(const BootstrapEntryPoints& entryPoints) {
  foundation::NSLog("PXVIBER: Constructor");
  processState().hostBundleIdentifier = foundation::mainBundleIdentifier();
  foundation::NSLog("PXVIBER: loaded in app: {}", foundation::describe(hostBundleIdentifier()));

  // Looked up by name: the library also loads where Couria is not installed.
  std::shared_ptr<platform::couria::Couria> couria;
  if (auto* cls = platform::runtime::lookUpClass<platform::couria::CouriaClass>("Couria")) {
    couria = cls->sharedInstance();
  }
  foundation::NSLog("PXVIBER: couria instance taken");
  {
    // Without Couria the registration is a message to nil: the new extension
    // is released again at the end of this scope.
    auto extension = entryPoints.newExtension ? entryPoints.newExtension() : nullptr;
    if (couria && extension) couria->registerExtension(extension, kMessengerBundleIdentifier);
  }
  foundation::NSLog("PXVIBER: couria extension registered");

  // A host always provides the centre; without one there is nothing to observe.
  auto center = notify::darwinNotifyCenter();
  if (center) {
    center->addObserver(nullptr, preferencesChangedCallback, kPreferencesChangedNotification,
                        notify::SuspensionBehavior::Coalesce);
    // The only way the settings are first loaded: at the delivery of this post,
    // once the run loop runs.
    center->postNotification(kPreferencesChangedNotification);
  }

  bool messenger = hostBundleIdentifier() == kMessengerBundleIdentifier;
  processState().settled =
      messenger ? entryPoints.messengerSettled : entryPoints.springboardSettled;
  if (messenger) {
    if (center) {
      center->addObserver(nullptr, entryPoints.sendMessageCallback, kSendMessageNotification,
                          notify::SuspensionBehavior::DeliverImmediately);
    }
  } else {
    foundation::NSLog("PXVIBER: loaded in springboard");
    if (center) {
      center->addObserver(nullptr, showAlertCallback, kShowAlertNotification,
                          notify::SuspensionBehavior::DeliverImmediately);
    }
  }
}

}  // namespace tweak
