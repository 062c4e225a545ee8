#include "tweak/core/send_queue.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

namespace {

namespace rk = request_key;
namespace ok = outcome_key;

// The keys a request entry reads; every other key is kept as it was.
constexpr const char* kKnownRequestKeys[] = {rk::requestID,
                                             rk::created,
                                             rk::conversationName,
                                             rk::attempts,
                                             rk::lastFailure,
                                             rk::nextAttempt,
                                             rk::sendingBy,
                                             rk::sendingSince,
                                             rk::sendingAfterKey,
                                             key::messageText,
                                             key::conversationID,
                                             key::messagePictureFile,
                                             key::messagePictureFileWithPath};

std::optional<Value> entry(const Dictionary& d, const char* k) {
  const Value* v = foundation::find(d, k);
  return v ? std::optional<Value>(*v) : std::nullopt;
}

std::optional<std::string> textEntry(const Dictionary& d, const char* k) {
  const Value* v = foundation::find(d, k);
  return v && v->asString() ? std::optional<std::string>(*v->asString()) : std::nullopt;
}

// A time or a count stored as any number (or numeric text, as Foundation reads it).
std::optional<double> numberEntry(const Dictionary& d, const char* k) {
  const Value* v = foundation::find(d, k);
  if (!v) return std::nullopt;
  if (const double* real = v->asReal()) return *real;
  if (auto integer = v->longLongValue()) return static_cast<double>(*integer);
  return std::nullopt;
}

void put(Dictionary& d, const char* k, const std::optional<Value>& v) {
  if (v) d[k] = *v;
}

std::optional<SendClaim> claimFrom(const Dictionary& d) {
  auto by = textEntry(d, rk::sendingBy);
  if (!by) return std::nullopt;
  return SendClaim{*by, numberEntry(d, rk::sendingSince).value_or(0)};
}

const Array* arrayEntry(const Dictionary& file, const char* k) {
  const Value* v = foundation::find(file, k);
  return v ? v->asArray() : nullptr;
}

bool sameValue(const Dictionary& file, const char* k, const std::optional<Value>& v) {
  const Value* held = foundation::find(file, k);
  return v ? held && *held == *v : held == nullptr;
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
  return Value(std::move(d));
}

std::optional<SendRequest> requestFromValue(const Value& value, std::string& why) {
  const Dictionary* d = value.asDictionary();
  if (!d) {
    why = "not a dictionary: " + value.description();
    return std::nullopt;
  }
  SendRequest r;
  auto id = textEntry(*d, rk::requestID);
  if (!id || id->empty()) {
    why = "no requestID: " + value.description();
    return std::nullopt;
  }
  r.requestID = *id;
  r.created = numberEntry(*d, rk::created).value_or(0);
  r.messageText = entry(*d, key::messageText);
  r.conversationID = entry(*d, key::conversationID);
  r.pictureFile = entry(*d, key::messagePictureFile);
  r.pictureFileWithPath = entry(*d, key::messagePictureFileWithPath);
  r.conversationName = textEntry(*d, rk::conversationName);
  r.attempts = static_cast<std::int64_t>(numberEntry(*d, rk::attempts).value_or(0));
  r.lastFailure = textEntry(*d, rk::lastFailure);
  r.nextAttempt = numberEntry(*d, rk::nextAttempt);
  r.claim = claimFrom(*d);
  if (auto k = numberEntry(*d, rk::sendingAfterKey)) r.afterKey = static_cast<std::int64_t>(*k);
  r.otherKeys = *d;
  for (const char* k : kKnownRequestKeys) r.otherKeys.erase(k);
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
      state.damaged.push_back("the queue is not a list: " + v->description());
    }
    return state;
  }
  for (const Value& v : *list) {
    std::string why;
    if (auto r = requestFromValue(v, why)) {
      state.pending.push_back(std::move(*r));
    } else {
      state.damaged.push_back(why);
    }
  }
  return state;
}

void writeQueue(Dictionary& file, const std::vector<SendRequest>& pending) {
  Array list;
  list.reserve(pending.size());
  for (const auto& r : pending) list.push_back(toValue(r));
  file[key::pendingRequests] = Value(std::move(list));
}

void enqueueRequest(Dictionary& file, const SendRequest& request) {
  QueueState state = readQueue(file);
  state.pending.push_back(request);
  writeQueue(file, state.pending);
  put(file, key::messageText, request.messageText);
  put(file, key::conversationID, request.conversationID);
  put(file, key::messagePictureFile, request.pictureFile);
  put(file, key::messagePictureFileWithPath, request.pictureFileWithPath);
}

bool requestKeysHold(const Dictionary& file, const SendRequest& request) {
  return sameValue(file, key::conversationID, request.conversationID) &&
         sameValue(file, key::messageText, request.messageText) &&
         (!request.pictureFile || sameValue(file, key::messagePictureFile, request.pictureFile));
}

std::optional<SendRequest> requestLeftInKeys(const Dictionary& file, const QueueState& queue) {
  SendRequest r;
  r.conversationID = entry(file, key::conversationID);
  if (!r.conversationID) return std::nullopt;
  for (const auto& p : queue.pending) {
    if (requestKeysHold(file, p)) return std::nullopt;
  }
  r.messageText = entry(file, key::messageText);
  r.pictureFile = entry(file, key::messagePictureFile);
  r.pictureFileWithPath = entry(file, key::messagePictureFileWithPath);
  r.created = queueNow();
  r.requestID = newRequestID(r.created);
  return r;
}

void removeRequestKeys(Dictionary& file) {
  file.erase(key::messageText);
  file.erase(key::conversationID);
  file.erase(key::messagePictureFile);
  file.erase(key::messagePictureFileWithPath);
}

bool finishRequest(Dictionary& file, const SendRequest& request, const Outcome& outcome) {
  QueueState state = readQueue(file);
  auto at = std::find_if(state.pending.begin(), state.pending.end(),
                         [&](const SendRequest& p) { return p.requestID == request.requestID; });
  if (at == state.pending.end()) return false;
  state.pending.erase(at);
  writeQueue(file, state.pending);
  if (requestKeysHold(file, request)) removeRequestKeys(file);
  Array outcomes;
  if (const Array* old = arrayEntry(file, key::requestOutcomes)) outcomes = *old;
  outcomes.push_back(toValue(outcome));
  if (outcomes.size() > kOutcomesKept) {
    outcomes.erase(outcomes.begin(), outcomes.end() - static_cast<long>(kOutcomesKept));
  }
  file[key::requestOutcomes] = Value(std::move(outcomes));
  return true;
}

bool replaceRequest(Dictionary& file, const SendRequest& request) {
  QueueState state = readQueue(file);
  for (auto& p : state.pending) {
    if (p.requestID != request.requestID) continue;
    p = request;
    writeQueue(file, state.pending);
    return true;
  }
  return false;
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
  return seconds && *seconds > 0 ? *seconds : kDefaultRequestDeadlineSeconds;
}

bool isPastDeadline(const SendRequest& request, double deadlineSeconds, double now) {
  return now >= request.created + deadlineSeconds;
}

std::vector<std::pair<SendRequest, Outcome>> expireRequests(
    Dictionary& file, double now, const std::function<bool(const SendRequest&)>& spare) {
  double deadline = requestDeadlineSeconds(file);
  std::vector<std::pair<SendRequest, Outcome>> expired;
  for (const auto& r : readQueue(file).pending) {
    if (!isPastDeadline(r, deadline, now) || (spare && spare(r))) continue;
    Outcome o = failedOutcome(r, r.lastFailure.value_or(kNotTakenInTimeText), now);
    finishRequest(file, r, o);
    expired.emplace_back(r, std::move(o));
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
