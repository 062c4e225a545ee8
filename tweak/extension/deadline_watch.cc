#include "tweak/extension/deadline_watch.h"

#include <optional>

#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/earliest_timer.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/request_rules.h"
#include "tweak/core/send_queue.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {

namespace foundation = platform::foundation;

namespace {

// A messenger's claim younger than this means it is sending the request now:
// the springboard leaves that request to it. An older claim is a messenger that
// died while sending.
constexpr double kClaimTrustedSeconds = 300;

EarliestTimer& timer() {
  auto& t = processState().deadlineTimer;
  if (!t) t.emplace(dropExpiredRequests, queueNow);
  return *t;
}

// The earliest deadline of the pending requests; nullopt for an empty queue.
// A file that is there but could not be read just now may hold requests: it
// is read again a little later rather than left unwatched.
std::optional<double> earliestDeadline() {
  auto file = readMailbox();
  if (!file) {
    if (!mailboxExists()) return std::nullopt;
    return queueNow() + kRetryAfterFailedWriteSeconds;
  }
  double deadline = requestDeadlineSeconds(*file);
  std::optional<double> earliest;
  for (const auto& r : readQueue(*file).pending) {
    double at = r.created + deadline;
    if (!earliest || at < *earliest) earliest = at;
  }
  return earliest;
}

// Requests past their deadline, an alert each; entries that could never be
// sent, one alert for all of them (a queue of thousands of damaged entries is
// one alert, not thousands).
void report(const FinishedRequests& expired, const EndedEntries& unsendable) {
  for (const auto& [request, outcome] : expired) {
    foundation::NSLog(kDroppedRequestLine, request.requestID, outcome.reason.value_or(""));
    // A messenger of an earlier version took it, and told of its own failure.
    if (request.takenByEarlier) continue;
    showAlertHere(kAlertTitle, undeliveredAlertText(outcome.reason.value_or(""), request));
  }
  logUnsendable(unsendable.why);
  FailedReplies failures;
  for (const auto& [request, outcome] : unsendable.ended) {
    failures.emplace_back(request, outcome.reason.value_or(""));
  }
  if (!failures.empty()) {
    const std::string& message = failures.front().second;
    showAlertHere(kAlertTitle, message + "\n" + failedReplyLines(failures, message));
  }
  if (expired.empty() && unsendable.ended.empty()) return;
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kRequestOutcomeNotification);
  }
}

}  // namespace

void watchRequestDeadlines() {
  if (auto at = earliestDeadline()) timer().scheduleAt(*at);
}

void watchRequestDeadline(double at) { timer().scheduleAt(at); }

void dropExpiredRequests() {
  FinishedRequests expired;
  EndedEntries unsendable;
  double now = queueNow();
  bool written = updateMailbox([&](foundation::Dictionary& file) {
    QueueState queue = readQueue(file);
    markTakenByEarlierMessenger(file, queue);
    double deadline = requestDeadlineSeconds(file);
    // A claim made in the future is no claim: it would spare the request for ever.
    auto spare = [now](const SendRequest& r) {
      return r.claim && r.claim->since <= now && now - r.claim->since < kClaimTrustedSeconds;
    };
    // The rule first: a request that could never be sent is not "late".
    unsendable = endUnsendable(file, queue, now, deadline, spare);
    expired = finishRequests(file, queue, expiredRequests(queue, deadline, now, spare));
    writeQueue(file, queue);
  });
  if (!written) {
    // The requests are still in the file, so nobody is told of them yet; the
    // file is tried again a little later rather than at once.
    timer().scheduleAt(now + kRetryAfterFailedWriteSeconds);
    return;
  }
  report(expired, unsendable);
  watchRequestDeadlines();
}

}  // namespace tweak
