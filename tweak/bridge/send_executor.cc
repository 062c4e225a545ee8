#include "tweak/bridge/send_executor.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "platform/runloop/run_loop.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/message_store.h"
#include "tweak/bridge/read_marking.h"
#include "tweak/bridge/request_claims.h"
#include "tweak/bridge/request_outcomes.h"
#include "tweak/bridge/request_sending.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/request_rules.h"
#include "tweak/core/send_queue.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::NSLog;

namespace {

void scheduleRetryAt(double at) {
  auto& timer = processState().retryTimer;
  if (!timer) timer.emplace([] { sendPendingRequests(SendTrigger::Retry); }, queueNow);
  timer->scheduleAt(at);
}

void scheduleRetryAt(std::optional<double> at) {
  if (at) scheduleRetryAt(*at);
}

bool isInFlight(const SendRequest& request) {
  return processState().picturesInFlight.count(request.requestID) > 0;
}

// Whether the file holds anything to take (read without the lock: a request
// written meanwhile comes with a notification of its own).
bool holdsRequests(const foundation::Dictionary& file) {
  QueueState queue = readQueue(file);
  return !queue.pending.empty() || !queue.damaged.empty() || requestLeftInKeys(file, queue);
}

// A send notification that found no request in a file that never held a queue:
// no request was ever made, and the user is told so. Once a queue exists, an
// empty notification is one whose requests were already handled.
void noRequest() {
  showAlert(kAlertTitle, kNoConversationIDAlert);
  NSLog(kNoConversationIDLine);
}

// What the completion found is recorded on the main run loop, where the
// queue's timers and state live; the picture stays in flight until then.
void settlePicture(const SendRequest& r, const SendResult& result) {
  processState().picturesInFlight.erase(r.requestID);
  scheduleRetryAt(settleRequests({{r, result}}));
  markRepliedConversationsRead({{r, result}});
  // The replies to its conversation that waited for it go now.
  if (result.kind != SendResult::Kind::Retry) scheduleRetryAt(queueNow());
}

// The picture completion: holds the request, and with it the file name, for
// as long as the messenger keeps it. The upload is asked for at once, on the
// messenger's thread, of the manager current then.
platform::messenger::PictureCompletion pictureCompletion(const SendRequest& r) {
  return [r](bool) {
    if (settings().debugMode) NSLog("PXVIBER: sendPictureM completion block");
    SendResult result = confirmPicture(r);
    if (auto loop = platform::runloop::mainRunLoop()) {
      loop->post([r, result] { settlePicture(r, result); });
    } else {
      settlePicture(r, result);
    }
  };
}

// Sends one request. A picture is in flight before the messenger is called:
// the messenger may call the completion before its send returns.
SendResult send(const SendRequest& r,
                const std::shared_ptr<platform::messenger::DBManager>& manager,
                MessageStore* store) {
  if (r.pictureFile) processState().picturesInFlight.insert(r.requestID);
  SendResult result = sendRequest(r, manager, store, pictureCompletion(r));
  if (result.kind != SendResult::Kind::Waiting) processState().picturesInFlight.erase(r.requestID);
  return result;
}

}  // namespace

void sendPendingRequests(SendTrigger trigger) {
  auto file = readMailbox();
  if (!file && mailboxExists()) {
    // The file is there but could not be read just now: its requests are not
    // taken for none (no alert that a reply was not sent); they wait for the
    // next try.
    scheduleRetryAt(queueNow() + kRetryAfterFailedWriteSeconds);
    return;
  }
  if (!file || !holdsRequests(*file)) {
    if (trigger == SendTrigger::Notification && !(file && readQueue(*file).used)) noRequest();
    return;
  }
  std::shared_ptr<platform::messenger::DBManager> manager = capturedManager();
  // One reading of the database for the whole pass. Its highest message key
  // before anything is sent goes into the claims: a later messenger looks for
  // this pass's messages after it.
  auto store = manager ? openMessageStore(*manager) : nullptr;
  auto taken = takeRequests({.dueOnly = trigger == SendTrigger::Retry,
                             .afterKey = store ? store->lastMessageKey() : std::nullopt,
                             .busy = isInFlight});
  if (!taken) {
    NSLog("PXVIBER: unable to take the send requests; they stay for a later try");
    scheduleRetryAt(queueNow() + kRetryAfterFailedWriteSeconds);
    return;
  }
  logUnsendable(taken->damaged);
  SendResults results;
  // The key of the message delivered last in this pass, per conversation: a
  // later request to it is looked for after that message, and keeps that key
  // for its retries, so that a reply typed twice is never taken for the
  // first one's message.
  std::map<std::string, std::int64_t> deliveredAt;
  // Conversations whose reply of this pass waits (a retry, a picture in
  // flight): their later replies are not tried before it.
  std::set<std::string> heldBack;
  for (SendRequest request : taken->toSend) {
    const std::string conversation = conversationOf(request);
    if (heldBack.count(conversation)) {
      results.emplace_back(std::move(request), SendResult{SendResult::Kind::Held, 0, {}});
      continue;
    }
    if (auto at = deliveredAt.find(conversation); at != deliveredAt.end() && request.afterKey) {
      request.afterKey = std::max(*request.afterKey, at->second);
    }
    SendResult result = send(request, manager, store.get());
    if (result.kind == SendResult::Kind::Delivered) deliveredAt[conversation] = result.messageKey;
    if (result.kind == SendResult::Kind::Retry || result.kind == SendResult::Kind::Waiting) {
      heldBack.insert(conversation);
    }
    results.emplace_back(std::move(request), std::move(result));
  }
  scheduleRetryAt(settleRequests(results, taken->ended));
  markRepliedConversationsRead(results);
  scheduleRetryAt(taken->nextDue);
}

void sendMessageCallback(platform::notify::NotifyCenter*, const void*, std::string_view,
                         const void*, const void*) {
  if (settings().debugMode) NSLog("PXVIBER: sendMessage callback in Viber");
  sendPendingRequests(SendTrigger::Notification);
}

void sendRequestsLeftPending() { sendPendingRequests(SendTrigger::Launch); }

}  // namespace tweak
