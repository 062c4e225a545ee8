#include "tweak/core/undelivered_reply.h"

#include <fmt/format.h>

#include <algorithm>

namespace tweak {

namespace {

// The first `count` characters of UTF-8 text; a broken sequence counts as one
// character per byte, so the cut never splits a well-formed character.
std::string firstCharacters(const std::string& text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < count && at < text.size(); ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at < text.size() ? text.substr(0, at) + "..." : text;
}

std::string recipient(const SendRequest& r) {
  std::string id = r.conversationID ? r.conversationID->description() : "(null)";
  if (!r.conversationName || r.conversationName->empty()) return "conversation " + id;
  return fmt::format("{} (conversation {})", *r.conversationName, id);
}

std::string conversationText(const SendRequest& r) {
  return r.conversationID ? r.conversationID->description() : std::string();
}

}  // namespace

std::string describeReply(const SendRequest& r) {
  if (!r.conversationID && !r.messageText && !r.pictureFile)
    return "A reply that could not be read";
  if (r.pictureFile) return "Photo reply to " + recipient(r);
  std::string text = r.messageText ? r.messageText->description() : std::string();
  // One line: the alert's lines are its reason and this one.
  std::replace(text.begin(), text.end(), '\n', ' ');
  return fmt::format("Reply to {}: \"{}\"", recipient(r),
                     firstCharacters(text, kQuotedReplyCharacters));
}

std::string undeliveredAlertText(const std::string& reason, const SendRequest& request) {
  return reason + "\n" + describeReply(request);
}

std::string failedReplyLines(const FailedReplies& failures, const std::string& message) {
  std::string lines;
  std::size_t named = std::min(failures.size(), kRepliesNamedInOneAlert);
  for (std::size_t i = 0; i < named; ++i) {
    const auto& [request, reason] = failures[i];
    if (!lines.empty()) lines += "\n";
    lines += describeReply(request);
    if (reason != message) lines += " — " + reason;
  }
  // A queue full of damaged entries makes one alert, not a screen of lines.
  if (failures.size() > named) lines += fmt::format("\nand {} more", failures.size() - named);
  return lines;
}

Outcome deliveredOutcome(const SendRequest& r, std::int64_t messageKey, double now) {
  return Outcome{r.requestID, conversationText(r), describeReply(r), true, messageKey, std::nullopt,
                 now};
}

Outcome failedOutcome(const SendRequest& r, const std::string& reason, double now) {
  return Outcome{r.requestID, conversationText(r), describeReply(r), false, std::nullopt, reason,
                 now};
}

}  // namespace tweak
