#include "tweak/core/send_queue.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <unordered_set>

#include "tweak/core/dictionary_entries.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::Array;
using foundation::Dictionary;
using foundation::Value;
using namespace dictionary_entries;

namespace {

namespace rk = request_key;
namespace ok = outcome_key;

// The keys a request entry reads; every other key is kept as it was.
constexpr const char* kKnownRequestKeys[] = {
    rk::requestID,           rk::created,
    rk::conversationName,    rk::attempts,
    rk::lastFailure,         rk::nextAttempt,
    rk::sendingBy,           rk::sendingSince,
    rk::sendingAfterKey,     rk::takenByEarlierVersion,
    key::messageText,        key::conversationID,
    key::messagePictureFile, key::messagePictureFileWithPath};

std::optional<SendClaim> claimFrom(const Dictionary& d) {
  auto by = textEntry(d, rk::sendingBy);
  if (!by) return std::nullopt;
  return SendClaim{*by, numberEntry(d, rk::sendingSince).value_or(0)};
}

}  // namespace

Value toValue(const SendRequest& r) {
  Dictionary d = r.otherKeys;
  d[rk::requestID] = Value(r.requestID);
  d[rk::created] = Value(r.created);
  put(d, key::messageText, r.messageText);
  put(d, key::conversationID, r.conversationID);
  put(d, key::messagePictureFile, r.pictureFile);
  put(d, key::messagePictureFileWithPath, r.pictureFileWithPath);
  if (r.conversationName) d[rk::conversationName] = Value(*r.conversationName);
  if (r.attempts) d[rk::attempts] = Value(static_cast<long long>(r.attempts));
  if (r.lastFailure) d[rk::lastFailure] = Value(*r.lastFailure);
  if (r.nextAttempt) d[rk::nextAttempt] = Value(*r.nextAttempt);
  if (r.claim) {
    d[rk::sendingBy] = Value(r.claim->by);
    d[rk::sendingSince] = Value(r.claim->since);
  }
  if (r.afterKey) d[rk::sendingAfterKey] = Value(static_cast<long long>(*r.afterKey));
  if (r.takenByEarlier) d[rk::takenByEarlierVersion] = Value(true);
  return Value(std::move(d));
}

namespace {

// What an entry dictionary holds, its identifier included when it is text.
SendRequest parseEntry(const Dictionary& d) {
  SendRequest r;
  r.requestID = textEntry(d, rk::requestID).value_or("");
  r.created = numberEntry(d, rk::created).value_or(0);
  r.messageText = entry(d, key::messageText);
  r.conversationID = entry(d, key::conversationID);
  r.pictureFile = entry(d, key::messagePictureFile);
  r.pictureFileWithPath = entry(d, key::messagePictureFileWithPath);
  r.conversationName = textEntry(d, rk::conversationName);
  r.attempts = static_cast<std::int64_t>(numberEntry(d, rk::attempts).value_or(0));
  r.lastFailure = textEntry(d, rk::lastFailure);
  r.nextAttempt = numberEntry(d, rk::nextAttempt);
  r.claim = claimFrom(d);
  if (auto k = numberEntry(d, rk::sendingAfterKey)) r.afterKey = static_cast<std::int64_t>(*k);
  const Value* taken = foundation::find(d, rk::takenByEarlierVersion);
  r.takenByEarlier = taken && taken->boolValue().value_or(false);
  r.otherKeys = d;
  for (const char* k : kKnownRequestKeys) r.otherKeys.erase(k);
  return r;
}

}  // namespace

std::optional<SendRequest> requestFromValue(const Value& value, std::string& why) {
  const Dictionary* d = value.asDictionary();
  if (!d) {
    why = "not a dictionary: " + value.description();
    return std::nullopt;
  }
  SendRequest r = parseEntry(*d);
  if (r.requestID.empty()) {
    why = "no requestID: " + value.description();
    return std::nullopt;
  }
  return r;
}

Value toValue(const Outcome& o) {
  Dictionary d{{ok::requestID, Value(o.requestID)},
               {ok::conversationID, Value(o.conversationID)},
               {ok::reply, Value(o.reply)},
               {ok::delivered, Value(o.delivered)},
               {ok::recorded, Value(o.recorded)}};
  if (o.messageKey) d[ok::messageKey] = Value(static_cast<long long>(*o.messageKey));
  if (o.reason) d[ok::reason] = Value(*o.reason);
  return Value(std::move(d));
}

std::optional<Outcome> outcomeFromValue(const Value& value) {
  const Dictionary* d = value.asDictionary();
  auto id = d ? textEntry(*d, ok::requestID) : std::nullopt;
  if (!id) return std::nullopt;
  Outcome o;
  o.requestID = *id;
  o.conversationID = textEntry(*d, ok::conversationID).value_or("");
  o.reply = textEntry(*d, ok::reply).value_or("");
  const Value* delivered = foundation::find(*d, ok::delivered);
  o.delivered = delivered && delivered->boolValue().value_or(false);
  if (auto k = numberEntry(*d, ok::messageKey)) o.messageKey = static_cast<std::int64_t>(*k);
  o.reason = textEntry(*d, ok::reason);
  o.recorded = numberEntry(*d, ok::recorded).value_or(0);
  return o;
}

QueueState readQueue(const Dictionary& file) {
  QueueState state;
  state.used =
      foundation::find(file, key::pendingRequests) || foundation::find(file, key::requestOutcomes);
  const Array* list = arrayEntry(file, key::pendingRequests);
  if (!list) {
    if (const Value* v = foundation::find(file, key::pendingRequests)) {
      state.damaged.push_back({*v, "the queue is not a list: " + v->description(), {}});
    }
    return state;
  }
  std::unordered_map<std::string, int> holders;
  std::vector<std::optional<SendRequest>> parsed;
  std::vector<std::string> why(list->size());
  parsed.reserve(list->size());
  for (std::size_t i = 0; i < list->size(); ++i) {
    parsed.push_back(requestFromValue((*list)[i], why[i]));
    if (parsed.back()) ++holders[parsed.back()->requestID];
  }
  // An identifier that two entries hold names neither for sure: both are damaged.
  for (std::size_t i = 0; i < list->size(); ++i) {
    if (parsed[i] && holders[parsed[i]->requestID] == 1) {
      state.pending.push_back(std::move(*parsed[i]));
    } else if (parsed[i]) {
      state.damaged.push_back(
          {(*list)[i], "requestID " + parsed[i]->requestID + " is held by another entry too",
           *parsed[i]});
    } else {
      const Dictionary* d = (*list)[i].asDictionary();
      state.damaged.push_back({(*list)[i], why[i], d ? parseEntry(*d) : SendRequest{}});
    }
  }
  return state;
}

void writeQueue(Dictionary& file, const QueueState& queue) {
  Array list;
  list.reserve(queue.pending.size() + queue.damaged.size());
  for (const auto& r : queue.pending) list.push_back(toValue(r));
  for (const auto& d : queue.damaged) {
    // A queue that was not a list is replaced, not kept inside the new one.
    if (!d.why.starts_with("the queue is not a list")) list.push_back(d.entry);
  }
  file[key::pendingRequests] = Value(std::move(list));
}

void enqueueRequest(Dictionary& file, const SendRequest& request) {
  QueueState state = readQueue(file);
  adoptRequestLeftInKeys(file, state);
  markTakenByEarlierMessenger(file, state);
  state.pending.push_back(request);
  writeQueue(file, state);
  file[key::newestRequestID] = Value(request.requestID);
  put(file, key::messageText, request.messageText);
  put(file, key::conversationID, request.conversationID);
  put(file, key::messagePictureFile, request.pictureFile);
  put(file, key::messagePictureFileWithPath, request.pictureFileWithPath);
}

namespace {

void recordOutcomes(Dictionary& file, const FinishedRequests& finished) {
  if (finished.empty()) return;
  Array outcomes;
  if (const Array* old = arrayEntry(file, key::requestOutcomes)) outcomes = *old;
  // Only the last kOutcomesKept of the old and the new are kept.
  std::size_t first = finished.size() > kOutcomesKept ? finished.size() - kOutcomesKept : 0;
  for (std::size_t i = first; i < finished.size(); ++i) {
    outcomes.push_back(toValue(finished[i].second));
  }
  if (outcomes.size() > kOutcomesKept) {
    outcomes.erase(outcomes.begin(), outcomes.end() - static_cast<long>(kOutcomesKept));
  }
  file[key::requestOutcomes] = Value(std::move(outcomes));
}

}  // namespace

FinishedRequests finishRequests(Dictionary& file, QueueState& queue,
                                const FinishedRequests& finished) {
  std::unordered_set<std::string> leaving;
  for (const auto& [r, o] : finished) leaving.insert(r.requestID);
  std::unordered_set<std::string> held;
  std::erase_if(queue.pending, [&](const SendRequest& p) {
    if (!leaving.count(p.requestID)) return false;
    held.insert(p.requestID);
    return true;
  });
  FinishedRequests done;
  for (const auto& f : finished) {
    // Each once, even when `finished` names a request twice.
    if (held.erase(f.first.requestID)) done.push_back(f);
  }
  for (const auto& [r, o] : done) {
    if (requestKeysAreFor(file, r)) removeRequestKeys(file);
  }
  recordOutcomes(file, done);
  return done;
}

std::vector<std::string> replaceRequests(QueueState& queue,
                                         const std::vector<SendRequest>& requests) {
  std::unordered_map<std::string, const SendRequest*> byID;
  for (const auto& r : requests) byID[r.requestID] = &r;
  std::vector<std::string> replaced;
  for (auto& p : queue.pending) {
    auto it = byID.find(p.requestID);
    if (it == byID.end()) continue;
    p = *it->second;
    replaced.push_back(p.requestID);
  }
  return replaced;
}

FinishedRequests endDamagedEntries(Dictionary& file, QueueState& queue, double now) {
  FinishedRequests ended;
  for (auto& d : queue.damaged) {
    SendRequest r = d.named;
    if (r.requestID.empty()) r.requestID = newRequestID(now);
    Outcome o = failedOutcome(r, kUnreadableReplyText, now);
    ended.emplace_back(std::move(r), std::move(o));
  }
  queue.damaged.clear();
  recordOutcomes(file, ended);
  return ended;
}

std::vector<Outcome> readOutcomes(const Dictionary& file) {
  std::vector<Outcome> out;
  if (const Array* list = arrayEntry(file, key::requestOutcomes)) {
    for (const Value& v : *list) {
      if (auto o = outcomeFromValue(v)) out.push_back(std::move(*o));
    }
  }
  return out;
}

std::string conversationOf(const SendRequest& request) {
  return request.conversationID ? request.conversationID->description() : std::string();
}

double requestDeadlineSeconds(const Dictionary& file) {
  auto seconds = numberEntry(file, key::requestDeadlineSeconds);
  // A deadline of no time, of negative time or of centuries is no setting.
  if (!seconds || !(*seconds > 0) || *seconds > kLongestRequestDeadlineSeconds) {
    return kDefaultRequestDeadlineSeconds;
  }
  return *seconds;
}

bool isPastDeadline(const SendRequest& request, double deadlineSeconds, double now) {
  return now >= request.created + deadlineSeconds;
}

FinishedRequests expiredRequests(const QueueState& queue, double deadlineSeconds, double now,
                                 const std::function<bool(const SendRequest&)>& spare) {
  FinishedRequests expired;
  for (const auto& r : queue.pending) {
    if (!isPastDeadline(r, deadlineSeconds, now) || (spare && spare(r))) continue;
    // A request an earlier messenger took was not "not taken": its outcome
    // says who took it, and nobody is told it late.
    std::string reason =
        r.takenByEarlier ? kTakenByEarlierText : r.lastFailure.value_or(kNotTakenInTimeText);
    expired.emplace_back(r, failedOutcome(r, reason, now));
  }
  return expired;
}

std::string newRequestID(double now) {
  auto micros = static_cast<std::uint64_t>(now * 1e6);
  unsigned count = processState().requestCounter++;
  return fmt::format("{:016x}-{}-{:04x}", micros, ::getpid(), count & 0xffffu);
}

double queueNow() {
  if (const auto& clock = processState().clock) return clock();
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace tweak
