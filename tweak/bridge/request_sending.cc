#include "tweak/bridge/request_sending.h"

#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "tweak/bridge/conversation_store.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/message_store.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/process_state.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {

namespace foundation = platform::foundation;
namespace pm = platform::messenger;
using foundation::NSLog;
using foundation::Value;

namespace {

using Kind = SendResult::Kind;

SendResult delivered(std::int64_t key) { return {Kind::Delivered, key, {}}; }
SendResult failed(const char* reason) { return {Kind::Failed, 0, reason}; }
SendResult takenElsewhere() { return {Kind::TakenElsewhere, 0, kTakenByEarlierText}; }

// Messages dated this much before a request was made may still be its own: the
// springboard and the messenger read one clock, but not at one instant.
constexpr double kClockSlackSeconds = 1;
SendResult retry(const char* reason) { return {Kind::Retry, 0, reason}; }

// A text of the request as the messenger's string object; nil when absent
// (the rule of request_rules.h lets no other kind through).
foundation::Id objectFor(const std::optional<Value>& value) {
  const std::string* text = value ? value->asString() : nullptr;
  return text ? std::make_shared<foundation::NSString>(*text) : nullptr;
}

std::optional<std::string> textOf(const std::optional<Value>& value) {
  return value && value->asString() ? std::optional<std::string>(*value->asString()) : std::nullopt;
}

// The conversation's key: the identifier resolved, so it is decimal digits.
std::int64_t conversationKey(const SendRequest& r) {
  return foundation::stringLongLongValue(r.conversationID->description());
}

// Whether the picture's stored file is still where the request says: if it is,
// a picture that found no attachment may go out on a later try.
bool pictureFileRemains(const SendRequest& r) {
  auto path = textOf(r.pictureFileWithPath);
  return path && processState().files->fileExists(foundation::hostPath(*path));
}

SendResult sendText(const SendRequest& r, pm::DBManager& manager,
                    const pm::ConversationRef& conversation, MessageStore& store) {
  auto text = textOf(r.messageText);
  if (text) {
    // Any earlier try, this messenger's or another's, may have reached the
    // database: what is there is not sent again.
    auto found = store.outgoingText(conversationKey(r), *text, *r.afterKey);
    if (!found.readable) return retry(kNoManagerAlert);
    if (found.found) return delivered(*found.found);
  }
  auto before = store.lastMessageKey();
  if (!before) return retry(kNoManagerAlert);
  manager.sendMessageOfType(std::make_shared<foundation::NSString>("text"),
                            objectFor(r.messageText), nullptr, conversation, nullptr, nullptr,
                            nullptr, nullptr, nullptr);
  auto stored =
      text ? store.outgoingText(conversationKey(r), *text, *before) : Lookup<std::int64_t>{};
  return stored.found ? delivered(*stored.found) : retry(kNotStoredByViberText);
}

SendResult sendPicture(const SendRequest& r, pm::DBManager& manager,
                       const pm::ConversationRef& conversation, MessageStore& store,
                       pm::PictureCompletion completion) {
  foundation::Id fileName = objectFor(r.pictureFile);
  // An earlier try may have reached the database: the picture goes out once.
  auto stored = store.outgoingPicture(conversationKey(r), fileName->description(), *r.afterKey);
  if (!stored.readable) return retry(kNoManagerAlert);
  if (stored.found)
    return stored.found->uploaded ? delivered(stored.found->messageKey) : confirmPicture(r);
  manager.sendPictureMessageWithConversation(conversation, fileName, objectFor(r.messageText),
                                             nullptr, std::move(completion));
  return {Kind::Waiting, 0, {}};
}

// A request a messenger of an earlier version took (it removed the four keys
// while they held it): that messenger sent it or told its user why not. It is
// looked for after the messages older than itself, and never sent again.
SendResult findTaken(const SendRequest& r, MessageStore& store) {
  std::optional<std::int64_t> after = r.afterKey;
  if (!after) after = store.lastMessageKeyBefore(r.created - kClockSlackSeconds);
  if (!after) return retry(kNoManagerAlert);
  if (!r.pictureFile) {
    auto found = store.outgoingText(conversationKey(r), *textOf(r.messageText), *after);
    if (!found.readable) return retry(kNoManagerAlert);
    return found.found ? delivered(*found.found) : takenElsewhere();
  }
  auto stored = store.outgoingPicture(conversationKey(r), *textOf(r.pictureFile), *after);
  if (!stored.readable) return retry(kNoManagerAlert);
  if (!stored.found) return takenElsewhere();
  return stored.found->uploaded ? delivered(stored.found->messageKey) : confirmPicture(r);
}

}  // namespace

SendResult sendRequest(const SendRequest& r, const std::shared_ptr<pm::DBManager>& manager,
                       MessageStore* store, pm::PictureCompletion completion) {
  if (!r.conversationID) {
    NSLog(kNoConversationIDLine);
    return failed(kNoConversationIDAlert);
  }
  if (!manager) {
    NSLog("PXVIBER: Unable to get DBM. Message not sent.");
    return retry(kNoManagerAlert);
  }
  if (r.takenByEarlier) return store ? findTaken(r, *store) : retry(kNoManagerAlert);
  auto conversation = resolveConversation(*manager, r.conversationID->description());
  if (!conversation) {
    NSLog("PXVIBER: unable to find conversation! Message not sent.");
    return failed(kNoConversationAlert);
  }
  // Without the key noted before its first try, nothing could tell a second
  // try from the first: the request waits for a database that can be read.
  if (!store || !r.afterKey) return retry(kNoManagerAlert);
  if (!r.pictureFile) return sendText(r, *manager, conversation, *store);
  return sendPicture(r, *manager, conversation, *store, std::move(completion));
}

SendResult confirmPicture(const SendRequest& r) {
  foundation::Id fileName = objectFor(r.pictureFile);
  std::shared_ptr<pm::DBManager> manager = capturedManager();
  pm::AttachmentRef attachment = manager ? manager->getAttachmentWithName(fileName) : nullptr;
  if (!attachment) {
    NSLog("PXVIBER: unable to find the attachment for upload!");
    return pictureFileRemains(r) ? retry(kPictureFailedAlert) : failed(kPictureFailedAlert);
  }
  manager->uploadAttachment(attachment, false);
  auto store = openMessageStore(*manager);
  auto stored = store ? store->outgoingPicture(conversationKey(r), fileName->description(),
                                               r.afterKey.value_or(0))
                      : Lookup<StoredPicture>{};
  return stored.found && stored.found->uploaded ? delivered(stored.found->messageKey)
                                                : retry(kPictureFailedAlert);
}

}  // namespace tweak
