// Marking a conversation read once a reply to it is delivered.
//
// A reply typed from a notification means its conversation has been seen, so,
// as the messenger's own reply does, a delivered reply marks the
// conversation's messages read: through the captured manager's
// markAsReadMessagesForConversation: with the conversation the reply went to,
// found again from the request's identifier as the send found it. The
// messenger then does all it does for a read conversation (its read flags and
// unread count; on a phone its badge and read receipts).
//
// Only delivered replies count: a failed reply, one left to retry, or a
// picture whose completion has not confirmed it leave the conversation as it
// is. Each conversation is marked once per call, however many of the replies
// went to it. Nothing is marked while the setting markReadOnReply is off, nor
// before this process first loads its settings (every value is zero then).
// Answers nothing: a conversation that cannot be marked is logged and left
// unread. Main thread.
#pragma once

#include <utility>
#include <vector>

#include "tweak/bridge/send_result.h"
#include "tweak/core/send_queue.h"

namespace tweak {

// `replies`: a pass's requests with what came of each, in queue order, or the
// one picture its completion settled.
void markRepliedConversationsRead(const std::vector<std::pair<SendRequest, SendResult>>& replies);

}  // namespace tweak
