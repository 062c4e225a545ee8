// The device's queue of send requests as the command line shows it: the
// pending requests and the recorded outcomes of the settings file
// (tweak/core/send_queue.h), and waiting for the outcome of one request.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "tweak/core/send_queue.h"

namespace pxviber {

// The keys a reply asks the springboard to read at its post: the four request
// keys, the newest request's identifier, the queue and the outcomes.
std::vector<std::string> replySnapshotKeys();

// The request a reply made: the identifier the springboard wrote with it
// (key::newestRequestID), read at its post, before any other request could be
// made; nullopt when the snapshot holds none (a springboard that keeps no
// queue).
std::optional<std::string> newestRequest(const platform::foundation::Dictionary& snapshot);

// The longest wait `pxviber reply --wait` takes, in seconds: the longest
// deadline a request can have.
inline constexpr double kLongestWaitSeconds = tweak::kLongestRequestDeadlineSeconds;

// The settings file of the device at `root`, as a dictionary (empty when absent).
platform::foundation::Dictionary readSettingsFile(const std::filesystem::path& root);

// Waits up to `seconds` (from 0 to kLongestWaitSeconds; anything else counts
// as 0) for the outcome of `requestID`, woken by the outcome notification on
// the device's bus; nullopt when none was recorded in time.
std::optional<tweak::Outcome> waitForOutcome(const std::filesystem::path& root,
                                             const std::string& requestID, double seconds);

// "delivered (message key N)" or "not delivered: <reason>".
std::string describeOutcome(const tweak::Outcome& outcome);

platform::foundation::Value outcomeValue(const tweak::Outcome& outcome);

}  // namespace pxviber
