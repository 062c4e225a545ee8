#include "tweak/bridge/send_executor.h"

#include <fmt/format.h>
#include <unistd.h>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/message_store.h"
#include "tweak/bridge/request_outcomes.h"
#include "tweak/bridge/request_sending.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/send_queue.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::NSLog;

namespace {

constexpr double kRetryAfterFailedWriteSeconds = 60;

// What one pass took out of the mailbox.
struct Taken {
  SendResults toSend;  // in queue order, each with the claim it had before
  ExpiredRequests expired;
  std::vector<std::string> damaged;
  std::optional<double> nextDue;  // the earliest next try of requests not due yet
};

// Who claims a request: this messenger process.
std::string messengerName() { return fmt::format("Viber[{}]", ::getpid()); }

// Whether the file holds anything to take (read without the lock: a request
// written meanwhile comes with a notification of its own).
bool holdsRequests(const foundation::Dictionary& file) {
  QueueState queue = readQueue(file);
  return !queue.pending.empty() || !queue.damaged.empty() || requestLeftInKeys(file, queue);
}

void claim(QueueState& queue, SendTrigger trigger, double now, std::int64_t afterKey,
           Taken& taken) {
  for (auto& r : queue.pending) {
    if (isInFlight(r)) continue;
    if (trigger == SendTrigger::Retry && r.nextAttempt && *r.nextAttempt > now) {
      taken.nextDue = std::min(taken.nextDue.value_or(*r.nextAttempt), *r.nextAttempt);
      continue;
    }
    taken.toSend.emplace_back(r, SendResult{});
    r.claim = SendClaim{messengerName(), now, afterKey};
  }
}

// The one locked write of a pass.
bool take(SendTrigger trigger, std::int64_t afterKey, Taken& taken) {
  double now = queueNow();
  return updateMailbox([&](foundation::Dictionary& file) {
    taken = Taken{};
    QueueState queue = readQueue(file);
    taken.damaged = queue.damaged;
    // A request left in the four keys alone is older than anything queued.
    if (auto left = requestLeftInKeys(file, queue))
      queue.pending.insert(queue.pending.begin(), *left);
    writeQueue(file, queue.pending);
    taken.expired = expireRequests(file, now, isInFlight);
    queue = readQueue(file);
    claim(queue, trigger, now, afterKey, taken);
    writeQueue(file, queue.pending);
  });
}

// A send notification that found no request in a file that never held a queue:
// no request was ever made, and the user is told so. Once a queue exists, an
// empty notification is one whose requests were already handled.
void noRequest() {
  showAlert(kAlertTitle, kNoConversationIDAlert);
  NSLog("PXVIBER: unable to read message conversationID! Message not sent.");
}

}  // namespace

void sendPendingRequests(SendTrigger trigger) {
  auto file = readMailbox();
  if (!file || !holdsRequests(*file)) {
    if (trigger == SendTrigger::Notification && !(file && readQueue(*file).used)) noRequest();
    return;
  }
  std::shared_ptr<platform::messenger::DBManager> manager = capturedManager();
  // One reading of the database for the whole pass. Its highest message key
  // before anything is sent goes into the claims: a later messenger looks for
  // this pass's messages after it.
  auto store = manager ? openMessageStore(*manager) : nullptr;
  Taken taken;
  if (!take(trigger, store ? store->lastMessageKey().value_or(0) : 0, taken)) {
    NSLog("PXVIBER: unable to take the send requests; they stay for a later try");
    scheduleRetryAt(queueNow() + kRetryAfterFailedWriteSeconds);
    return;
  }
  for (const auto& why : taken.damaged) NSLog("PXVIBER: dropped a damaged send request: {}", why);
  for (auto& [request, result] : taken.toSend) result = sendRequest(request, manager, store.get());
  settleRequests(taken.toSend, taken.expired);
  if (taken.nextDue) scheduleRetryAt(*taken.nextDue);
}

void sendMessageCallback(platform::notify::NotifyCenter*, const void*, std::string_view,
                         const void*, const void*) {
  if (settings().debugMode) NSLog("PXVIBER: sendMessage callback in Viber");
  sendPendingRequests(SendTrigger::Notification);
}

void sendRequestsLeftPending() { sendPendingRequests(SendTrigger::Launch); }

}  // namespace tweak
