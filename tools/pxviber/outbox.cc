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
          key::newestRequestID,    key::pendingRequests,
          key::requestOutcomes};
}

std::optional<std::string> newestRequest(const Dictionary& snapshot) {
  // Not the largest identifier in sight: an outcome planted under a larger
  // one, or a clock set back, would name another request.
  const Value* id = foundation::find(snapshot, tweak::key::newestRequestID);
  if (!id || !id->asString() || id->asString()->empty()) return std::nullopt;
  return *id->asString();
}

Dictionary readSettingsFile(const std::filesystem::path& root) {
  auto file =
      foundation::readDictionaryFile(foundation::hostPathIn(root, tweak::kPreferencesDevicePath));
  return file ? *file : Dictionary{};
}

std::optional<tweak::Outcome> waitForOutcome(const std::filesystem::path& root,
                                             const std::string& requestID, double seconds) {
  if (!(seconds >= 0 && seconds <= kLongestWaitSeconds)) seconds = 0;
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
