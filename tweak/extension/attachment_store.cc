#include "tweak/extension/attachment_store.h"

#include <fmt/format.h>

#include <cmath>
#include <set>

#include "platform/foundation/device.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/springboard/screen.h"
#include "tweak/core/application_location.h"
#include "tweak/core/preferences.h"
#include "tweak/core/undelivered_reply.h"
#include "tweak/core/viber_contract.h"
#include "tweak/extension/attachment_names.h"
#include "tweak/extension/photo_attachment.h"

namespace tweak {

namespace foundation = platform::foundation;
using foundation::NSLog;

namespace {

// The current time in whole seconds since 1970, the fraction cut off; the
// queue's clock, the one the request's own time is read from.
std::uint64_t currentSecond() { return static_cast<std::uint64_t>(std::floor(queueNow())); }

// The main screen's size in pixels: the preview's bound.
platform::graphics::CGSize screenPixels() {
  auto screen = platform::springboard::UIScreen::mainScreen();
  return {screen.bounds().width * screen.scale(), screen.bounds().height * screen.scale()};
}

// The file behind a file URL, open for reading (the photo is read as it is
// decoded, not copied whole first). Other schemes are not fetched (the
// springboard reads nothing from the network for a reply).
std::shared_ptr<const foundation::ReadOnlyFile> photoFile(const foundation::NSURL& url) {
  if (!url.isFileURL()) {
    NSLog("PXVIBER: photo content is not a file URL, nothing to read: {}", url.description());
    return nullptr;
  }
  auto file = url.path() ? foundation::ReadOnlyFile::open(*url.path()) : nullptr;
  if (!file) NSLog("PXVIBER: unable to read the photo at {}", url.description());
  return file;
}

std::set<std::string> namesTakenBy(const QueueState& queue) {
  std::set<std::string> names;
  for (const auto& r : queue.pending) {
    if (r.pictureFile && r.pictureFile->asString()) names.insert(*r.pictureFile->asString());
  }
  return names;
}

// The device path of `folder` of the data container, for the attachment `name`.
std::string attachmentPath(const std::string& dataPath, const char* folder,
                           const std::string& name) {
  return fmt::format("{}/{}/{}", dataPath, folder, name);
}

std::optional<StoredAttachment> pickName(std::uint64_t second, const QueueState& queue) {
  // Two lookups, as each stored path is formed from its own.
  auto fullData = viberAppPath();
  auto previewData = viberAppPath();
  if (!fullData || !previewData) {
    NSLog("PXVIBER: Viber's data container not found; the photo cannot be stored");
    return std::nullopt;
  }
  auto name = freeAttachmentName(
      second,
      {foundation::hostPath(attachmentPath(*fullData, viber::kAttachmentsFolder, "")),
       foundation::hostPath(attachmentPath(*previewData, viber::kAttachmentsPreviewFolder, ""))},
      namesTakenBy(queue));
  if (!name) {
    NSLog("PXVIBER: no free attachment name in second {}", second);
    return std::nullopt;
  }
  return StoredAttachment{*name, attachmentPath(*fullData, viber::kAttachmentsFolder, *name),
                          attachmentPath(*previewData, viber::kAttachmentsPreviewFolder, *name)};
}

bool write(const std::string& path, const foundation::Bytes& jpeg) {
  if (foundation::writeFileAtomically(foundation::hostPath(path), jpeg)) return true;
  NSLog("PXVIBER: unable to write {}", path);
  return false;
}

}  // namespace

void StoredAttachment::remove() const {
  std::error_code ec;
  std::filesystem::remove(foundation::hostPath(fullPath), ec);
  std::filesystem::remove(foundation::hostPath(previewPath), ec);
}

std::variant<StoredAttachment, std::string> storeAttachment(const foundation::NSURL& url,
                                                            const QueueState& queue) {
  std::uint64_t second = currentSecond();
  auto file = photoFile(url);
  if (!file) return std::string(kUnreadablePhotoText);
  auto jpegs = makeAttachmentJpegs(platform::graphics::UIImage::initWithContentsOfFile(file),
                                   screenPixels());
  if (!jpegs) {
    NSLog("PXVIBER: unable to decode the photo at {}", url.description());
    return std::string(kUnreadablePhotoText);
  }
  auto stored = pickName(second, queue);
  if (!stored) return std::string(kUnstoredPhotoText);
  if (!write(stored->fullPath, jpegs->full) || !write(stored->previewPath, jpegs->preview)) {
    stored->remove();
    return std::string(kUnstoredPhotoText);
  }
  if (settings().debugMode) NSLog("PXVIBER: image to be sent stored in {}", stored->fullPath);
  return *stored;
}

}  // namespace tweak
