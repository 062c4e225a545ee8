// The queue of send requests in the mailbox, and the outcomes recorded beside it.
//
// Every send request joins "pendingRequests", an array of dictionaries in the
// order the requests were made; the messenger takes them in that order and
// removes each one only when it records its outcome in "requestOutcomes" (the
// most recent kOutcomesKept, oldest first). The four request keys of the file
// ("messageText", "conversationID", "messagePictureFile",
// "messagePictureFileWithPath") are still written for the newest request, so a
// messenger that knows only them still finds one request; a request that a
// springboard left in those four keys alone is taken into the queue when the
// messenger finds it.
//
// The functions here only read and change a dictionary of the file; callers
// run them inside updateMailbox(), so that a change is one locked
// read-modify-write and a reader never sees half a queue. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace tweak {

// How long a request may wait for a messenger to take it before it is dropped
// and the user told, unless the file's key::requestDeadlineSeconds says otherwise.
inline constexpr double kDefaultRequestDeadlineSeconds = 24 * 3600;
// The longest deadline the file's key::requestDeadlineSeconds can set: a year.
inline constexpr double kLongestRequestDeadlineSeconds = 366 * 24 * 3600;
// How many recorded outcomes the file keeps.
inline constexpr std::size_t kOutcomesKept = 10;
// How long either side waits before it tries the file again after it could
// not write it: soon enough for a reply, not so soon that a stuck file is
// hammered.
inline constexpr double kRetryAfterFailedWriteSeconds = 60;

// Keys of one request of the queue, besides the file's four request keys.
namespace request_key {
inline constexpr const char* requestID = "requestID";
inline constexpr const char* created = "created";  // seconds since 1970
inline constexpr const char* conversationName = "conversationName";
inline constexpr const char* attempts = "attempts";
inline constexpr const char* lastFailure = "lastFailure";
inline constexpr const char* nextAttempt = "nextAttempt";    // seconds since 1970
inline constexpr const char* sendingBy = "sendingBy";        // the messenger that took it
inline constexpr const char* sendingSince = "sendingSince";  // seconds since 1970
// The highest message key of the database before the request's first try.
inline constexpr const char* sendingAfterKey = "sendingAfterKey";
// A messenger that knows only the four request keys took the request.
inline constexpr const char* takenByEarlierVersion = "takenByEarlierVersion";
}  // namespace request_key

// Keys of one recorded outcome.
namespace outcome_key {
inline constexpr const char* requestID = "requestID";
inline constexpr const char* conversationID = "conversationID";
inline constexpr const char* reply = "reply";  // who it was for and how it began
inline constexpr const char* delivered = "delivered";
inline constexpr const char* messageKey = "messageKey";
inline constexpr const char* reason = "reason";
inline constexpr const char* recorded = "recorded";  // seconds since 1970
}  // namespace outcome_key

// A messenger's claim on a request it is sending: who, and since when.
struct SendClaim {
  std::string by;
  double since = 0;
};

struct SendRequest {
  std::string requestID;
  double created = 0;  // seconds since 1970
  // The request's values as the file holds them; the messenger passes them on.
  std::optional<platform::foundation::Value> messageText;
  std::optional<platform::foundation::Value> conversationID;
  std::optional<platform::foundation::Value> pictureFile;
  std::optional<platform::foundation::Value> pictureFileWithPath;
  // The sender's name of the conversation's latest notification, when known.
  std::optional<std::string> conversationName;
  std::int64_t attempts = 0;
  std::optional<std::string> lastFailure;  // the alert text of the last failed try
  std::optional<double> nextAttempt;       // no try before this time
  std::optional<SendClaim> claim;
  // The highest message key of the messenger's database noted before the
  // request's first try, kept across every later try: the request's message,
  // if any try reached the database, is the first outgoing one after it.
  std::optional<std::int64_t> afterKey;
  // A messenger of an earlier version, which knows only the four request keys,
  // removed them while they held this request: it took the request, and sent
  // it or told its user itself. It is looked for, never sent again.
  bool takenByEarlier = false;
  // Whatever else the entry held, written back as it was.
  platform::foundation::Dictionary otherKeys;
};

struct Outcome {
  std::string requestID;
  std::string conversationID;
  std::string reply;  // describeReply() of the request
  bool delivered = false;
  std::optional<std::int64_t> messageKey;  // delivered: the message's Z_PK
  std::optional<std::string> reason;       // not delivered: why
  double recorded = 0;
};

// An entry of the queue that is not a request: not a dictionary, no text
// requestID, or an identifier that another entry holds too.
struct DamagedEntry {
  platform::foundation::Value entry;  // as the file holds it
  std::string why;                    // what is wrong with it, for the log
  SendRequest named;                  // what could be read of it, to name it
};

// The queue as the file holds it.
struct QueueState {
  std::vector<SendRequest> pending;
  // Kept as they are by every writer but the one that ends them
  // (endDamagedEntries).
  std::vector<DamagedEntry> damaged;
  // Whether the file has held a queue or outcomes: a request was made since
  // the queue came in.
  bool used = false;
};

platform::foundation::Value toValue(const SendRequest& request);
// nullopt, with the reason in `why`, for an entry that is not a request: not a
// dictionary, or no text requestID.
std::optional<SendRequest> requestFromValue(const platform::foundation::Value& value,
                                            std::string& why);
platform::foundation::Value toValue(const Outcome& outcome);
std::optional<Outcome> outcomeFromValue(const platform::foundation::Value& value);

// Every function below that changes the file or a queue runs in time linear in
// the queue, whatever it holds: a caller reads the queue once, changes it in
// memory and writes it once.
QueueState readQueue(const platform::foundation::Dictionary& file);
// Writes `queue` as the file's queue: its requests in order, then its damaged
// entries as they were.
void writeQueue(platform::foundation::Dictionary& file, const QueueState& queue);

// Appends the request to the queue and writes the four request keys for it
// (its picture keys only when it has a picture: a text request leaves older
// picture keys as they were) and key::newestRequestID. Before the keys are
// written over, a request an earlier springboard left in them joins the
// queue, and one a messenger of an earlier version took is marked so.
void enqueueRequest(platform::foundation::Dictionary& file, const SendRequest& request);

// Whether the four request keys hold `request` (text and conversation, and its
// picture when it has one).
bool requestKeysHold(const platform::foundation::Dictionary& file, const SendRequest& request);
// Whether the four keys are `request`'s: written for it (key::newestRequestID
// names it; in a file without that key, whose values they hold) and holding it
// still.
bool requestKeysAreFor(const platform::foundation::Dictionary& file, const SendRequest& request);
// The request that the four keys hold when it names a conversation and they
// are no pending request's: one that a springboard of an earlier version left.
std::optional<SendRequest> requestLeftInKeys(const platform::foundation::Dictionary& file,
                                             const QueueState& queue);
// Takes the request left in the four keys, if any, into the queue, first (it
// is older than anything queued), and names it the keys' request; answers it.
std::optional<SendRequest> adoptRequestLeftInKeys(platform::foundation::Dictionary& file,
                                                  QueueState& queue);
// Marks the pending request the four keys were written for as taken by a
// messenger of an earlier version when the keys are gone: only such a
// messenger removes them and leaves their request in the queue. Answers
// whether it marked one.
bool markTakenByEarlierMessenger(const platform::foundation::Dictionary& file, QueueState& queue);
// Removes the four request keys.
void removeRequestKeys(platform::foundation::Dictionary& file);

using FinishedRequests = std::vector<std::pair<SendRequest, Outcome>>;

// Takes each request of `finished` out of `queue` (and the four keys, when
// they are its: requestKeysAreFor) and records its outcome in the file's outcomes, in the order
// given, the last kOutcomesKept kept. Answers the ones the queue held: a
// request it no longer holds had its outcome recorded before, and is left out.
FinishedRequests finishRequests(platform::foundation::Dictionary& file, QueueState& queue,
                                const FinishedRequests& finished);
// Writes each of `requests` over the queue's entry of the same identifier;
// answers the identifiers that had one.
std::vector<std::string> replaceRequests(QueueState& queue,
                                         const std::vector<SendRequest>& requests);
// Ends every damaged entry of `queue`: each leaves it with a failed outcome
// recorded (kUnreadableReplyText), under its identifier when it has one; the
// answer names them, in queue order.
FinishedRequests endDamagedEntries(platform::foundation::Dictionary& file, QueueState& queue,
                                   double now);
std::vector<Outcome> readOutcomes(const platform::foundation::Dictionary& file);

// The conversation a request is for, as text: replies to one conversation go
// out in the order they were made.
std::string conversationOf(const SendRequest& request);

// The file's deadline in seconds: key::requestDeadlineSeconds when it is a
// positive number of at most kLongestRequestDeadlineSeconds, else
// kDefaultRequestDeadlineSeconds.
double requestDeadlineSeconds(const platform::foundation::Dictionary& file);
bool isPastDeadline(const SendRequest& request, double deadlineSeconds, double now);

// The requests of `queue` past their deadline, except those that `spare`
// answers true for (a request a messenger is sending right now), each with its
// failed outcome (its last failure, or kNotTakenInTimeText), in queue order.
// Takes nothing out: the caller finishes them.
FinishedRequests expiredRequests(const QueueState& queue, double deadlineSeconds, double now,
                                 const std::function<bool(const SendRequest&)>& spare = nullptr);

// A new identifier: later requests of one process sort after earlier ones.
std::string newRequestID(double now);

// The time the queue goes by, in seconds since 1970: the process state's
// clock when a test set one.
double queueNow();

}  // namespace tweak
