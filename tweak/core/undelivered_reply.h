// How a reply is named to the user, and the outcomes recorded for it.
//
// An alert about a reply that was not sent names it: the failure's own text
// on the first line, then who the reply was for and how it began, e.g.
//   Unable to match conversation. Message not sent.
//   Reply to Alice Smith (conversation 1): "On my way"
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tweak/core/failure_texts.h"
#include "tweak/core/send_queue.h"

namespace tweak {

// The longest start of a reply that an alert quotes, in characters.
inline constexpr std::size_t kQuotedReplyCharacters = 40;

// "Reply to <name> (conversation <id>): "<start>"" for a text, "Photo reply to
// ..." for a picture; the name only when known, the start cut after
// kQuotedReplyCharacters characters with "..."; "A reply that could not be
// read" for an entry of the queue that names nothing.
std::string describeReply(const SendRequest& request);

// `reason`, a line break, describeReply(request).
std::string undeliveredAlertText(const std::string& reason, const SendRequest& request);

// Replies that failed together, each with its reason.
using FailedReplies = std::vector<std::pair<SendRequest, std::string>>;

// The lines under one alert about `failures` whose message is `message`: a
// line per reply (describeReply), followed by " — <reason>" where its reason
// is not the message; the first kRepliesNamedInOneAlert of them, then "and N
// more".
std::string failedReplyLines(const FailedReplies& failures, const std::string& message);

// The most replies one alert names line by line.
inline constexpr std::size_t kRepliesNamedInOneAlert = 20;

Outcome deliveredOutcome(const SendRequest& request, std::int64_t messageKey, double now);
Outcome failedOutcome(const SendRequest& request, const std::string& reason, double now);

}  // namespace tweak
