// The send executor: inside the messenger, sends the requests that the
// springboard left in the mailbox's queue (send_queue.h).
//
// This is the one place that decides what a pass does, and what becomes of a
// picture's completion; the pieces it calls answer values and never call back
// into it. A pass takes every request due (request_claims.h), sends each in
// queue order, at most once, through the captured manager (request_sending.h),
// and records what came of them (request_outcomes.h): delivered or failed
// requests leave the queue with their outcome, the others stay for a later
// try, for which this executor sets its retry timer. A picture stays in flight
// from its send until its completion's result is recorded; a pass leaves it
// alone meanwhile. A pass runs at every send notification, once after launch,
// and when a retry is due. Runs on the main run loop; the messenger calls the
// picture completion on a thread of its own.
//
// Once a pass's outcomes are recorded, the conversations of its delivered
// replies are marked read (read_marking.h); a picture's once its completion's
// result is recorded.
#pragma once

#include <string_view>

#include "platform/notify/notify_center.h"

namespace tweak {

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
