// The send executor: inside the messenger, sends the requests that the
// springboard left in the mailbox's queue (send_queue.h).
//
// Each pass takes, in one locked write of the mailbox, every pending request
// that is not being sent already: a request found in the four request keys
// alone joins the queue first, damaged entries are dropped (logged), requests
// past their deadline leave with a failed outcome, and the rest are claimed for
// this messenger. Then each claimed request is sent in queue order, at most
// once, through the captured manager (request_sending.h), and what came of it
// is recorded (request_outcomes.h): delivered or failed requests leave the
// queue with their outcome, the others stay for a later try. A pass runs at
// every send notification, once after launch, and when a retry is due. Runs on
// the main run loop; the picture completion runs wherever the messenger calls it.
#pragma once

#include <string_view>

#include "platform/notify/notify_center.h"

namespace tweak {

// Alert texts raised by the executor (title kAlertTitle).
inline constexpr const char* kNoConversationIDAlert =
    "Unable to read old message conversation ID. Message not sent.";
inline constexpr const char* kNoManagerAlert = "Unable to connect to Viber DB. Message not sent.";
inline constexpr const char* kNoConversationAlert =
    "Unable to match conversation. Message not sent.";
inline constexpr const char* kPictureFailedAlert = "Unable to send picture message.";

enum class SendTrigger {
  Notification,  // the send notification: every request is tried
  Launch,        // the messenger started: every request is tried
  Retry,         // a retry is due: the requests whose next try has come
};

// The messenger's observer of the send notification; ignores its arguments. A
// notification that finds no request, when no request was ever queued, raises
// the "Unable to read old message conversation ID. Message not sent." alert.
void sendMessageCallback(platform::notify::NotifyCenter* center, const void* observer,
                         std::string_view name, const void* object, const void* userInfo);

// One pass of the executor.
void sendPendingRequests(SendTrigger trigger);

// The pass run once after launch (the bootstrap's messengerSettled).
void sendRequestsLeftPending();

}  // namespace tweak
