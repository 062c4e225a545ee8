// The first write of a pass of the executor: in one locked write of the
// mailbox it takes every pending request that is due and not being sent
// already, and claims each for this messenger; a request it leaves (not due,
// or in flight) holds back every later one to its conversation, so that
// replies to one conversation go out in the order they were made. A request
// found in the four request keys alone joins the queue first (it is older
// than anything queued), and the one a messenger of an earlier version took
// from them is marked so (send_queue.h); damaged entries, requests that can
// never be sent (request_rules.h) and requests past their deadline leave the
// queue with a failed outcome. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tweak/core/send_queue.h"

namespace tweak {

// What one take found.
struct TakenRequests {
  // The claimed requests, in queue order, each with its key noted (see
  // TakeRules::afterKey) and its claim, if any, an earlier messenger's.
  std::vector<SendRequest> toSend;
  // Taken out without a send (damaged, never sendable, or past their
  // deadline), with the outcome recorded for each.
  FinishedRequests ended;
  // One line per damaged or never sendable entry, saying what is wrong.
  std::vector<std::string> damaged;
  // The earliest next try among the requests left because they are not due.
  std::optional<double> nextDue;
};

struct TakeRules {
  // Only requests whose next try has come (a retry's pass); else every one.
  bool dueOnly = false;
  // The highest message key of the database before this pass sends anything,
  // noted in each request taken that has none yet (its first try): every try
  // looks for the request's message after it. nullopt when the database could
  // not be read: no key is noted, and nothing without one is sent.
  std::optional<std::int64_t> afterKey;
  // Requests left alone: this process is sending them already.
  std::function<bool(const SendRequest&)> busy;
};

// nullopt when the mailbox could not be written: nothing was taken.
std::optional<TakenRequests> takeRequests(const TakeRules& rules);

}  // namespace tweak
