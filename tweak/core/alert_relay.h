// The alert relay: how code inside the messenger tells the user something.
//
// showAlert(), inside the messenger, leaves the title and text in the mailbox and
// posts the alert notification; showAlertCallback(), in the springboard, shows
// whatever alert the mailbox holds, with a single "OK" button.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/notify/notify_center.h"

namespace tweak {

inline constexpr const char* kAlertTitle = "PXVIBER Error";

// Does nothing when this process's showAlerts value is off. A nil argument leaves
// its key as the file had it. Reply lines of an earlier alert are removed.
void showAlert(const std::optional<std::string>& title, const std::optional<std::string>& message);

// showAlert() about replies that were not sent: `message` is the failure's own
// text and stays in its key as it is, so that a reader of the file finds the
// texts it knows; `replies` (a line per reply, naming its conversation and how
// it began) goes under a key of its own and is shown under the message.
void showReplyAlert(const std::string& title, const std::string& message,
                    const std::string& replies);

// Shows an alert in this process at once, with the single "OK" button, when
// this process's showAlerts value is on: how the springboard tells the user of
// a reply that never reached the messenger (the mailbox may be what failed).
void showAlertHere(const std::string& title, const std::string& message);

// The springboard's observer of the alert notification; ignores its arguments.
void showAlertCallback(platform::notify::NotifyCenter* center, const void* observer,
                       std::string_view name, const void* object, const void* userInfo);

}  // namespace tweak
