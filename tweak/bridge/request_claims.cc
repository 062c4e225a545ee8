#include "tweak/bridge/request_claims.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>

#include "tweak/core/mailbox.h"

namespace tweak {

namespace {

// Who claims a request: this messenger process.
std::string messengerName() { return fmt::format("Viber[{}]", ::getpid()); }

void claim(QueueState& queue, const TakeRules& rules, double now, TakenRequests& taken) {
  for (auto& r : queue.pending) {
    if (rules.busy && rules.busy(r)) continue;
    if (rules.dueOnly && r.nextAttempt && *r.nextAttempt > now) {
      taken.nextDue = std::min(taken.nextDue.value_or(*r.nextAttempt), *r.nextAttempt);
      continue;
    }
    if (!r.afterKey) r.afterKey = rules.afterKey;
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
    taken.damaged = queue.damaged;
    if (auto left = requestLeftInKeys(file, queue)) {
      queue.pending.insert(queue.pending.begin(), *left);
    }
    writeQueue(file, queue.pending);
    taken.expired = expireRequests(file, now, rules.busy);
    queue = readQueue(file);
    claim(queue, rules, now, taken);
    writeQueue(file, queue.pending);
  });
  if (!written) return std::nullopt;
  return taken;
}

}  // namespace tweak
