// The photo of a reply, stored in Viber's attachment folders before the request
// is written: read from its file URL, turned upright and fitted twice
// (photo_attachment.h), then written under a free attachment name
// (attachment_names.h) as the full-size file and the preview.
//
// Nothing is left half done: when any step fails, the files already written are
// removed again, the reason is logged, and the caller gets the text to tell the
// user. Runs on the thread on which Couria calls.
#pragma once

#include <string>
#include <variant>

#include "platform/foundation/object.h"
#include "tweak/core/send_queue.h"

namespace tweak {

struct StoredAttachment {
  std::string name;
  std::string fullPath;     // device path of the full-size file
  std::string previewPath;  // device path of the preview
  // Takes both files away again (the request naming them was not written).
  void remove() const;
};

// Stores the photo behind `url`, with a name that no file of either folder and
// no pending request of `queue` holds. On failure answers the user's text
// (kUnreadablePhotoText or kUnstoredPhotoText).
std::variant<StoredAttachment, std::string> storeAttachment(const platform::foundation::NSURL& url,
                                                            const QueueState& queue);

}  // namespace tweak
