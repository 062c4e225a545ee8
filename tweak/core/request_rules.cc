#include "tweak/core/request_rules.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/foundation/log.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::Value;

namespace {

std::optional<Unsendable> refused(const char* reason, std::string why) {
  return Unsendable{reason, std::move(why)};
}

// The conversation must name one row: a Boolean "YES" would read as
// conversation 1, a list or a date as nothing at all.
bool isConversation(const Value& v) { return v.asString() || v.asInteger(); }

// A full path written beside the name must name the same file in an
// "Attachments" folder, so that the file test made with it (a picture whose
// attachment is missing is tried again while its file is there) looks nowhere
// else. It is judged as it resolves: on iOS 7 the springboard reaches Viber's
// folders through its bundle (".../Viber.app/../Documents/Attachments/...").
bool isAttachmentPathOf(const std::string& path, const std::string& name) {
  if (path.find('\0') != std::string::npos) return false;
  std::filesystem::path p = std::filesystem::path(path).lexically_normal();
  if (p.filename() != name || p.parent_path().filename() != "Attachments") return false;
  for (const auto& part : p) {
    if (part == "..") return false;
  }
  return true;
}

}  // namespace

bool isAttachmentName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos &&
         name.find("..") == std::string_view::npos;
}

std::optional<Unsendable> whyUnsendable(const SendRequest& r, double now, double deadlineSeconds) {
  if (!r.conversationID) return refused(kNoConversationIDAlert, "no conversationID");
  if (!isConversation(*r.conversationID)) {
    return refused(kNoConversationAlert,
                   "its conversationID is not a conversation: " + r.conversationID->description());
  }
  if (r.messageText && !r.messageText->asString()) {
    return refused(kUnreadableReplyText,
                   "its messageText is not text: " + r.messageText->description());
  }
  if (!r.messageText && !r.pictureFile)
    return refused(kUnreadableReplyText, "no text and no picture");
  if (r.pictureFile) {
    const std::string* name = r.pictureFile->asString();
    if (!name || !isAttachmentName(*name)) {
      return refused(kPictureFailedAlert, "its messagePictureFile is no attachment name: " +
                                              r.pictureFile->description());
    }
    if (r.pictureFileWithPath) {
      const std::string* path = r.pictureFileWithPath->asString();
      if (!path || !isAttachmentPathOf(*path, *name)) {
        return refused(kPictureFailedAlert,
                       "its messagePictureFileWithPath is not that attachment's file: " +
                           r.pictureFileWithPath->description());
      }
    }
  }
  if (!std::isfinite(r.created) || r.created <= 0 || r.created > now + deadlineSeconds) {
    return refused(kUnreadableReplyText,
                   fmt::format("its time of making is no time: {}", r.created));
  }
  return std::nullopt;
}

EndedEntries endUnsendable(foundation::Dictionary& file, QueueState& queue, double now,
                           double deadlineSeconds,
                           const std::function<bool(const SendRequest&)>& spare) {
  EndedEntries ended;
  for (const auto& d : queue.damaged) ended.why.push_back(d.why);
  ended.ended = endDamagedEntries(file, queue, now);
  FinishedRequests refused;
  for (const auto& r : queue.pending) {
    if (spare && spare(r)) continue;
    if (auto why = whyUnsendable(r, now, deadlineSeconds)) {
      refused.emplace_back(r, failedOutcome(r, why->reason, now));
      ended.why.push_back(r.requestID + ": " + why->why);
    }
  }
  auto done = finishRequests(file, queue, refused);
  ended.ended.insert(ended.ended.end(), done.begin(), done.end());
  return ended;
}

void logUnsendable(const std::vector<std::string>& why) {
  std::size_t logged = std::min(why.size(), kDamagedLinesLogged);
  for (std::size_t i = 0; i < logged; ++i) {
    foundation::NSLog("PXVIBER: dropped a damaged send request: {}", why[i]);
  }
  if (why.size() > logged) {
    foundation::NSLog("PXVIBER: dropped {} more damaged send requests", why.size() - logged);
  }
}

}  // namespace tweak
