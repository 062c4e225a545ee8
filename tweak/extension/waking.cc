// Waking the messenger: after a send request, Viber is resumed, or launched in
// the background with the send notification repeated once it has had time to
// start and observe it.
#include "platform/foundation/log.h"
#include "platform/foundation/value.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/applications.h"
#include "tweak/core/bootstrap.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

namespace springboard = platform::springboard;
using platform::foundation::NSLog;

namespace {

constexpr double kWakeDelaySeconds = 2.0;

std::string stateName(const springboard::SBApplication& app, int state) {
  return platform::foundation::describe(app._stringForApplicationState(state));
}

}  // namespace

std::shared_ptr<springboard::SBApplication> ORVViberCouriaExtension::appWithIdentifier() {
  auto* cls = platform::runtime::lookUpClass<springboard::SBApplicationControllerClass>(
      "SBApplicationController");
  auto registry = cls ? cls->sharedInstance() : nullptr;
  if (!registry) return nullptr;
  // The display-identifier form is tried first: iOS 7 and 8 offer it, iOS 9 the other.
  if (registry->respondsToSelector("applicationWithDisplayIdentifier:")) {
    return registry->applicationWithDisplayIdentifier(kMessengerBundleIdentifier);
  }
  if (registry->respondsToSelector("applicationWithBundleIdentifier:")) {
    return registry->applicationWithBundleIdentifier(kMessengerBundleIdentifier);
  }
  return nullptr;
}

void ORVViberCouriaExtension::startWakingViber() {
  auto app = appWithIdentifier();
  if (!app) {
    NSLog("PXVIBER: Viber app is nil");
    return;
  }
  if (settings().debugMode) {
    int state = app->applicationState();
    NSLog("PXVIBER: Viber application state is {}, state name: {}", static_cast<unsigned>(state),
          stateName(*app, state));
  }
  // The state is read afresh for each test: an application that changes state
  // between two readings is judged by the later one.
  if (app->applicationState() == springboard::SBApplicationStateSuspended) {
    app->resumeForContentAvailable();
    return;
  }
  if (app->applicationState() == springboard::SBApplicationStateBackground) {
    app->resumeForContentAvailable();
    return;
  }
  if (app->applicationState() == springboard::SBApplicationStateNotRunning) {
    if (auto application = springboard::sharedApplication()) {
      application->launchApplicationWithIdentifier(kMessengerBundleIdentifier, true);
    }
    // The timer keeps this extension alive until it fires.
    if (auto loop = platform::runloop::mainRunLoop()) {
      loop->callAfter(platform::runloop::Seconds(kWakeDelaySeconds),
                      [self = shared_from_this()] { self->wakeAppToSendMessage(); });
    }
  }
}

void ORVViberCouriaExtension::wakeAppToSendMessage() {
  // The first post went out while Viber was not running to observe it.
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kSendMessageNotification);
  }
  auto app = appWithIdentifier();
  int state = app ? app->applicationState() : 0;
  NSLog("PXVIBER: Viber application state after launching is {}, state name: {}",
        static_cast<unsigned>(state), app ? stateName(*app, state) : std::string("(null)"));
  if (app) app->resumeForContentAvailable();
}

}  // namespace tweak
