// The send request: the user's reply, handed over by Couria in the springboard,
// becomes a request in the mailbox for the messenger, announced by the send
// notification; a photo is stored in Viber's attachment folders first.
#include <fmt/format.h>

#include <chrono>
#include <cmath>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/foundation/object.h"
#include "platform/graphics/geometry.h"
#include "platform/notify/notify_center.h"
#include "platform/springboard/screen.h"
#include "tweak/core/application_location.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/photo_attachment.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

namespace foundation = platform::foundation;
namespace graphics = platform::graphics;
using foundation::NSLog;

namespace {

// The attachment name of a photo stored now.
std::string attachmentName() {
  return attachmentFileName(
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
}

// NSData dataWithContentsOfURL: the bytes behind a file URL; nothing for other
// schemes (the springboard fetches nothing from the network for a reply).
std::optional<foundation::Bytes> dataWithContentsOfURL(const foundation::NSURL& url) {
  auto path = url.path();
  if (!path) return std::nullopt;
  return foundation::readFile(*path);
}

// The main screen's size in pixels: the preview's bound.
graphics::CGSize screenPixels() {
  auto screen = platform::springboard::UIScreen::mainScreen();
  return {screen.bounds().width * screen.scale(), screen.bounds().height * screen.scale()};
}

// Writes `jpeg` to `path`, a path of the device. Without Viber's data container
// the path names no real folder (it would be relative to wherever the
// springboard runs): nothing is written then.
void store(const foundation::Bytes* jpeg, const std::optional<std::string>& dataPath,
           const std::string& path) {
  if (!jpeg || !dataPath) return;
  foundation::writeFileAtomically(foundation::hostPath(path), *jpeg);
}

}  // namespace

bool ORVViberCouriaExtension::canSendPhotos() { return false; }

void ORVViberCouriaExtension::sendMessage(
    std::shared_ptr<const platform::couria::CouriaMessage> message,
    const platform::couria::UserIdentifier& user) {
  foundation::Dictionary request;
  foundation::Id content = message ? message->content() : nullptr;
  const auto* text = dynamic_cast<const foundation::NSString*>(content.get());
  request[key::messageText] = foundation::Value(
      message && isMessageOfTextType(*message) && text ? text->value() : std::string());
  if (!user) {
    NSLog("PXVIBER: did not get conversation ID in message send method, unable to proceed!");
    return;
  }
  request[key::conversationID] = foundation::Value(*user);

  if (const auto* url = dynamic_cast<const foundation::NSURL*>(content.get())) {
    NSLog("PXVIBER: content is: {}", url->description());
    std::string name = attachmentName();
    auto bytes = dataWithContentsOfURL(*url);
    auto jpegs = bytes ? makeAttachmentJpegs(std::move(*bytes), screenPixels()) : std::nullopt;

    auto dataPath = viberAppPath();
    std::string fullPath =
        fmt::format("{}/Documents/Attachments/{}", foundation::describe(dataPath), name);
    store(jpegs ? &jpegs->full : nullptr, dataPath, fullPath);

    auto previewDataPath = viberAppPath();
    std::string previewPath = fmt::format("{}/Documents/AttachmentsPreview/{}",
                                          foundation::describe(previewDataPath), name);
    store(jpegs ? &jpegs->preview : nullptr, previewDataPath, previewPath);

    if (settings().debugMode) NSLog("PXVIBER: image to be sent stored in {}", fullPath);
    request[key::messagePictureFile] = foundation::Value(name);
    request[key::messagePictureFileWithPath] = foundation::Value(fullPath);
  }

  // The files are on disk before the mailbox, and the mailbox before the
  // notification. The mailbox is read and written under its lock only now, after
  // the image work, so that a change made meanwhile (a saved setting, an alert)
  // is kept.
  updateMailbox([&](foundation::Dictionary& d) {
    for (auto& [k, v] : request) d[k] = v;
  });
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kSendMessageNotification);
  }
  startWakingViber();
}

}  // namespace tweak
