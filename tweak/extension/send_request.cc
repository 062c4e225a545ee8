// The send request: the user's reply, handed over by Couria in the springboard,
// joins the queue of send requests in the mailbox for the messenger, announced
// by the send notification; a photo is stored in Viber's attachment folders
// first.
//
// A reply that cannot be handed over is never announced: when its text holds
// control characters, the photo cannot be read or stored, or the request
// cannot be written, nothing is posted, the photo files already stored are
// removed and the user is told which reply it was.
#include <algorithm>
#include <variant>

#include "platform/foundation/log.h"
#include "platform/foundation/object.h"
#include "platform/notify/notify_center.h"
#include "tweak/core/alert_relay.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/send_queue.h"
#include "tweak/core/undelivered_reply.h"
#include "tweak/extension/attachment_store.h"
#include "tweak/extension/deadline_watch.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::NSLog;

namespace {

void tellUser(const std::string& reason, const SendRequest& request) {
  showAlertHere(kAlertTitle, undeliveredAlertText(reason, request));
}

// A control character other than tab, line feed and carriage return, which no
// XML property list can hold: the settings file would hold something other
// than what was typed (or, written as it is, nothing any other reader reads).
bool holdsControlCharacters(const std::optional<foundation::Value>& text) {
  const std::string* s = text ? text->asString() : nullptr;
  return s && std::any_of(s->begin(), s->end(), [](char c) {
           auto b = static_cast<unsigned char>(c);
           return b < 0x20 && b != '\t' && b != '\n' && b != '\r';
         });
}

// Stores the photo and names it in the request; false (the user told) when it
// cannot be stored.
bool attachPhoto(const foundation::NSURL& url, SendRequest& request,
                 std::optional<StoredAttachment>& stored) {
  NSLog("PXVIBER: content is: {}", url.description());
  auto file = readMailbox();
  auto result = storeAttachment(url, file ? readQueue(*file) : QueueState{});
  if (const auto* reason = std::get_if<std::string>(&result)) {
    request.pictureFile = foundation::Value(std::string());
    tellUser(*reason, request);
    return false;
  }
  stored = std::get<StoredAttachment>(result);
  request.pictureFile = foundation::Value(stored->name);
  request.pictureFileWithPath = foundation::Value(stored->fullPath);
  return true;
}

// Joins the request to the queue; answers its deadline, or nullopt (logged)
// when the file could not be written. The file's folder is left for the caller
// to flush (syncMailboxFolder) once the messenger is told.
std::optional<double> enqueue(const SendRequest& request) {
  double deadline = 0;
  bool written = updateMailbox(
      [&](foundation::Dictionary& d) {
        enqueueRequest(d, request);
        deadline = request.created + requestDeadlineSeconds(d);
      },
      foundation::FolderSync::Later);
  if (written) return deadline;
  NSLog("PXVIBER: unable to write the send request {}; nothing posted", request.requestID);
  return std::nullopt;
}

}  // namespace

bool ORVViberCouriaExtension::canSendPhotos() { return false; }

void ORVViberCouriaExtension::sendMessage(
    std::shared_ptr<const platform::couria::CouriaMessage> message,
    const platform::couria::UserIdentifier& user) {
  SendRequest request;
  foundation::Id content = message ? message->content() : nullptr;
  const auto* text = dynamic_cast<const foundation::NSString*>(content.get());
  request.messageText = foundation::Value(
      message && isMessageOfTextType(*message) && text ? text->value() : std::string());
  if (!user) {
    NSLog("PXVIBER: did not get conversation ID in message send method, unable to proceed!");
    return;
  }
  request.conversationID = foundation::Value(*user);
  request.conversationName = getNickname(user);
  request.created = queueNow();
  request.requestID = newRequestID(request.created);
  if (holdsControlCharacters(request.messageText)) {
    NSLog("PXVIBER: the reply {} holds control characters; nothing posted", request.requestID);
    tellUser(kControlCharactersText, request);
    return;
  }

  std::optional<StoredAttachment> stored;
  const auto* url = dynamic_cast<const foundation::NSURL*>(content.get());
  if (url && !attachPhoto(*url, request, stored)) return;

  // The files are on disk before the mailbox, and the mailbox before the
  // notification. The mailbox is read and written under its lock only now, after
  // the image work, so that a change made meanwhile (a saved setting, an alert,
  // the messenger taking a request) is kept.
  auto deadline = enqueue(request);
  if (!deadline) {
    if (stored) stored->remove();
    tellUser(kUnsavedRequestText, request);
    return;
  }
  // The messenger can read the request as soon as it is renamed into place; the
  // folder's flush, which makes the request survive a crash of the phone, runs
  // while the notification travels, and is done before the reply counts as
  // handed over.
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kSendMessageNotification);
  }
  syncMailboxFolder();
  startWakingViber();
  watchRequestDeadline(*deadline);
}

}  // namespace tweak
