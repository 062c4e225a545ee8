#include "tweak/bridge/request_claims.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_set>

#include "tweak/core/mailbox.h"
#include "tweak/core/request_rules.h"

namespace tweak {

namespace {

// Who claims a request: this messenger process.
std::string messengerName() { return fmt::format("Viber[{}]", ::getpid()); }

void claim(QueueState& queue, const TakeRules& rules, double now, TakenRequests& taken) {
  // Replies to one conversation go out in the order they were made: a request
  // left for later holds back every later one to its conversation.
  std::unordered_set<std::string> heldBack;
  for (auto& r : queue.pending) {
    const std::string conversation = conversationOf(r);
    if (heldBack.count(conversation)) continue;
    if (rules.busy && rules.busy(r)) {
      heldBack.insert(conversation);
      continue;
    }
    if (rules.dueOnly && r.nextAttempt && *r.nextAttempt > now) {
      taken.nextDue = std::min(taken.nextDue.value_or(*r.nextAttempt), *r.nextAttempt);
      heldBack.insert(conversation);
      continue;
    }
    // A request an earlier messenger took was tried before any key of this
    // pass: it is looked for after the messages older than itself
    // (request_sending.h).
    if (!r.afterKey && !r.takenByEarlier) r.afterKey = rules.afterKey;
    taken.toSend.push_back(r);
    r.claim = SendClaim{messengerName(), now};
  }
}

}  // namespace

std::optional<TakenRequests> takeRequests(const TakeRules& rules) {
  double now = queueNow();
  TakenRequests taken;
  bool written = updateMailbox([&](platform::foundation::Dictionary& file) {
    taken = TakenRequests{};
    QueueState queue = readQueue(file);
    adoptRequestLeftInKeys(file, queue);
    markTakenByEarlierMessenger(file, queue);
    double deadline = requestDeadlineSeconds(file);
    auto unsendable = endUnsendable(file, queue, now, deadline, rules.busy);
    taken.ended = std::move(unsendable.ended);
    taken.damaged = std::move(unsendable.why);
    auto expired = finishRequests(file, queue, expiredRequests(queue, deadline, now, rules.busy));
    taken.ended.insert(taken.ended.end(), expired.begin(), expired.end());
    claim(queue, rules, now, taken);
    writeQueue(file, queue);
  });
  if (!written) return std::nullopt;
  return taken;
}

}  // namespace tweak
