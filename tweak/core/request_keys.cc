// The four request keys beside the queue: written for the newest request, so
// that a messenger knowing only them finds one; read back to tell whose they
// are, to adopt a request an earlier springboard left in them alone, and to
// notice a request an earlier messenger took out of them.
#include "tweak/core/dictionary_entries.h"
#include "tweak/core/preferences.h"
#include "tweak/core/send_queue.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;
using namespace dictionary_entries;

bool requestKeysHold(const Dictionary& file, const SendRequest& request) {
  return sameValue(file, key::conversationID, request.conversationID) &&
         sameValue(file, key::messageText, request.messageText) &&
         (!request.pictureFile || sameValue(file, key::messagePictureFile, request.pictureFile));
}

bool requestKeysAreFor(const Dictionary& file, const SendRequest& request) {
  // Two requests may hold equal values (a reply typed twice): the identifier
  // tells whose the keys are, where the file has it.
  auto id = textEntry(file, key::newestRequestID);
  return (!id || *id == request.requestID) && requestKeysHold(file, request);
}

namespace {

// Where in the queue the request the four keys were written for is.
std::optional<std::size_t> keysRequestAt(const Dictionary& file, const QueueState& queue) {
  auto id = textEntry(file, key::newestRequestID);
  for (std::size_t i = 0; id && i < queue.pending.size(); ++i) {
    if (queue.pending[i].requestID == *id) return i;
  }
  return std::nullopt;
}

}  // namespace

std::optional<SendRequest> requestLeftInKeys(const Dictionary& file, const QueueState& queue) {
  SendRequest r;
  r.conversationID = entry(file, key::conversationID);
  if (!r.conversationID) return std::nullopt;
  if (textEntry(file, key::newestRequestID)) {
    auto own = keysRequestAt(file, queue);
    if (own && requestKeysHold(file, queue.pending[*own])) return std::nullopt;
  } else {
    for (const auto& p : queue.pending) {
      if (requestKeysHold(file, p)) return std::nullopt;
    }
  }
  r.messageText = entry(file, key::messageText);
  r.pictureFile = entry(file, key::messagePictureFile);
  r.pictureFileWithPath = entry(file, key::messagePictureFileWithPath);
  r.created = queueNow();
  r.requestID = newRequestID(r.created);
  return r;
}

std::optional<SendRequest> adoptRequestLeftInKeys(Dictionary& file, QueueState& queue) {
  auto left = requestLeftInKeys(file, queue);
  if (!left) return std::nullopt;
  queue.pending.insert(queue.pending.begin(), *left);
  // From now on the keys are this request's: it is not adopted twice.
  file[key::newestRequestID] = Value(left->requestID);
  return left;
}

bool markTakenByEarlierMessenger(const Dictionary& file, QueueState& queue) {
  if (foundation::find(file, key::conversationID)) return false;
  auto own = keysRequestAt(file, queue);
  if (!own || queue.pending[*own].takenByEarlier) return false;
  queue.pending[*own].takenByEarlier = true;
  return true;
}

void removeRequestKeys(Dictionary& file) {
  file.erase(key::messageText);
  file.erase(key::conversationID);
  file.erase(key::messagePictureFile);
  file.erase(key::messagePictureFileWithPath);
}

}  // namespace tweak
