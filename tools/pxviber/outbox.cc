#include "tools/pxviber/outbox.h"

#include <algorithm>
#include <utility>

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "tools/pxviber/commands.h"
#include "tweak/core/preferences.h"

namespace pxviber {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

std::optional<tweak::Outcome> outcomeOf(const Dictionary& file, const std::string& requestID) {
  for (auto& o : tweak::readOutcomes(file)) {
    if (o.requestID == requestID) return o;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> replySnapshotKeys() {
  namespace key = tweak::key;
  return {key::messageText,        key::conversationID,
          key::messagePictureFile, key::messagePictureFileWithPath,
          key::pendingRequests,    key::requestOutcomes};
}

std::optional<std::string> newestRequest(const Dictionary& snapshot) {
  std::optional<std::string> newest;
  auto consider = [&](const std::string& id) {
    if (!newest || id > *newest) newest = id;
  };
  for (const auto& r : tweak::readQueue(snapshot).pending) consider(r.requestID);
  for (const auto& o : tweak::readOutcomes(snapshot)) consider(o.requestID);
  return newest;
}

Dictionary readSettingsFile(const std::filesystem::path& root) {
  auto file =
      foundation::readDictionaryFile(foundation::hostPathIn(root, tweak::kPreferencesDevicePath));
  return file ? *file : Dictionary{};
}

std::optional<tweak::Outcome> waitForOutcome(const std::filesystem::path& root,
                                             const std::string& requestID, double seconds) {
  auto loop = platform::runloop::makeEventRunLoop();
  auto center = joinDeviceBus(root, *loop);
  // Observed before the first reading: an outcome recorded in between still
  // brings its notification.
  bool changed = true;
  center->addObserver(
      nullptr,
      [&](auto*, const void*, std::string_view, const void*, const void*) { changed = true; },
      tweak::kRequestOutcomeNotification, platform::notify::SuspensionBehavior::DeliverImmediately);
  std::optional<tweak::Outcome> outcome;
  loop->runUntil(
      [&] {
        if (std::exchange(changed, false)) outcome = outcomeOf(readSettingsFile(root), requestID);
        return outcome.has_value();
      },
      platform::runloop::Seconds(seconds));
  return outcome;
}

std::string describeOutcome(const tweak::Outcome& o) {
  if (o.delivered)
    return "delivered (message key " + std::to_string(o.messageKey.value_or(0)) + ")";
  return "not delivered: " + o.reason.value_or("(no reason recorded)");
}

Value outcomeValue(const tweak::Outcome& o) { return tweak::toValue(o); }

}  // namespace pxviber
