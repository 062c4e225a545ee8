#include "tweak/bridge/request_outcomes.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::NSLog;
using Kind = SendResult::Kind;

namespace {

constexpr double kMaxRetryDelaySeconds = 60;

// What one write of the results came to.
struct Settled {
  bool recorded = false;  // some outcome was recorded
  FailedReplies failures;
  std::optional<double> nextTry;
};

// The request to write back for a try that may succeed later.
SendRequest nextTry(const SendRequest& r, const SendResult& result, double now) {
  // The claim goes (nobody is sending it until its next try); the key noted
  // before its first try stays, so that the next try looks for this one's
  // message before it sends anything.
  SendRequest next = r;
  next.claim.reset();
  next.attempts += 1;
  next.lastFailure = result.reason;
  next.nextAttempt = now + retryDelaySeconds(next.attempts);
  return next;
}

void record(foundation::Dictionary& file, const SendResults& results, double now,
            Settled& settled) {
  QueueState queue = readQueue(file);
  FinishedRequests finishing;
  std::vector<SendRequest> retrying, held;
  for (const auto& [r, result] : results) {
    if (result.kind == Kind::Delivered) {
      finishing.emplace_back(r, deliveredOutcome(r, result.messageKey, now));
    } else if (result.kind == Kind::Failed || result.kind == Kind::TakenElsewhere) {
      finishing.emplace_back(r, failedOutcome(r, result.reason, now));
    } else if (result.kind == Kind::Retry) {
      retrying.push_back(nextTry(r, result, now));
    } else if (result.kind == Kind::Held) {
      // Not tried: back as it was, for the pass that sends its elder.
      SendRequest back = r;
      back.claim.reset();
      held.push_back(std::move(back));
    }
  }
  for (const auto& [r, outcome] : finishRequests(file, queue, finishing)) {
    settled.recorded = true;
    // The earlier messenger that took a request told of its own failure.
    if (!outcome.delivered && !r.takenByEarlier) {
      settled.failures.emplace_back(r, outcome.reason.value_or(""));
    }
  }
  replaceRequests(queue, retrying);
  replaceRequests(queue, held);
  for (const auto& r : retrying) {
    settled.nextTry = std::min(settled.nextTry.value_or(*r.nextAttempt), *r.nextAttempt);
  }
  writeQueue(file, queue);
}

void logResult(const SendRequest& r, const SendResult& result) {
  if (result.kind == Kind::Retry) {
    NSLog("PXVIBER: send request {} not sent yet ({}); it is tried again", r.requestID,
          result.reason);
  } else if (result.kind == Kind::TakenElsewhere) {
    NSLog(
        "PXVIBER: send request {} was taken by an earlier version and is not among Viber's "
        "messages",
        r.requestID);
  } else if (result.kind == Kind::Delivered && settings().debugMode) {
    NSLog("PXVIBER: send request {} delivered as message {}", r.requestID, result.messageKey);
  }
}

// One alert for every request that failed for good in this pass: a second
// alert written before the springboard read the first would replace its texts.
// The message is the first failure's text; a reply that failed for another
// reason carries its own after its line.
void tellUser(const FailedReplies& failures) {
  if (failures.empty()) return;
  const std::string& message = failures.front().second;
  showReplyAlert(kAlertTitle, message, failedReplyLines(failures, message));
}

}  // namespace

std::optional<double> settleRequests(const SendResults& results, const FinishedRequests& ended) {
  double now = queueNow();
  Settled settled;
  bool toWrite = std::any_of(results.begin(), results.end(),
                             [](const auto& r) { return r.second.kind != Kind::Waiting; });
  bool written = !toWrite || updateMailbox([&](foundation::Dictionary& file) {
    settled = Settled{};
    record(file, results, now, settled);
  });
  if (!written) {
    // The claims stay in the file; the next pass finds them unfinished and
    // reads the database before it sends anything again.
    NSLog("PXVIBER: unable to record what came of the send requests; they are tried again");
    return now + kRetryAfterFailedWriteSeconds;
  }
  for (const auto& [request, result] : results) logResult(request, result);
  for (const auto& [request, outcome] : ended) {
    NSLog(kDroppedRequestLine, request.requestID, outcome.reason.value_or(""));
    settled.failures.emplace_back(request, outcome.reason.value_or(""));
  }
  if (settled.recorded || !ended.empty()) {
    if (auto center = platform::notify::darwinNotifyCenter()) {
      center->postNotification(kRequestOutcomeNotification);
    }
  }
  tellUser(settled.failures);
  return settled.nextTry;
}

double retryDelaySeconds(std::int64_t attempts) {
  double exponent = static_cast<double>(std::clamp<std::int64_t>(attempts - 1, 0, 16));
  return std::min(std::pow(2.0, exponent), kMaxRetryDelaySeconds);
}

}  // namespace tweak
