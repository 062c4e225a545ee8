// The one rule by which an entry of the queue is judged before anything is
// sent for it: whether its content can be a reply at all.
//
// A request can be sent when its conversation is a text (or a whole number,
// read as its decimal text), its text is a text, it has a text or a picture,
// its picture is a plain file name of Viber's attachment folders (and its
// full path, when given, names that file in an "Attachments" folder), and its
// time of making is a time: positive, finite, and no further ahead than one
// deadline. Anything else (a Boolean conversation, a number for a text, a
// picture path that climbs out of the folder, a time of 0 or of centuries
// ahead) ends at once with one failed outcome: it is never sent and never
// tried again. Entries that are not requests at all are the queue's own
// damaged entries (send_queue.h), ended the same way. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tweak/core/send_queue.h"

namespace tweak {

// Why a request can never be sent: the text its user is told (an alert text
// of failure_texts.h) and what is wrong with it, for the log.
struct Unsendable {
  std::string reason;
  std::string why;
};

// nullopt when `request` can be sent; `now` and the file's deadline bound its
// time of making.
std::optional<Unsendable> whyUnsendable(const SendRequest& request, double now,
                                        double deadlineSeconds);

// Whether `name` can be a file of Viber's attachment folders: a plain name,
// not "." or "..", without a path separator, "..", or NUL.
bool isAttachmentName(std::string_view name);

// What endUnsendable took out: each entry with its failed outcome, and a line
// per entry saying what is wrong with it, for the log.
struct EndedEntries {
  FinishedRequests ended;
  std::vector<std::string> why;
};

// Takes every damaged entry of `queue` and every request that whyUnsendable
// refuses (except those `spare` answers true for) out of `queue` and the four
// keys, recording a failed outcome for each in the file. Whichever side runs
// it under the file's lock tells the user, once, of what it answers.
EndedEntries endUnsendable(platform::foundation::Dictionary& file, QueueState& queue, double now,
                           double deadlineSeconds,
                           const std::function<bool(const SendRequest&)>& spare = nullptr);

// Logs a line per entry of `why` ("PXVIBER: dropped a damaged send request:
// ..."), the first kDamagedLinesLogged of them, then how many more: a queue of
// thousands of damaged entries is not copied into the log.
void logUnsendable(const std::vector<std::string>& why);
inline constexpr std::size_t kDamagedLinesLogged = 100;

}  // namespace tweak
