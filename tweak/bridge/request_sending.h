// One send request carried out inside the messenger, through the manager, and
// read back from its database to know what came of it.
//
// A text goes out through the text send and counts as delivered once the
// database holds the outgoing message; a picture goes out through the picture
// send with the completion the caller gives, and is only Waiting until that
// completion confirms it (confirmPicture). Before any send, first try or
// retry, the request is looked for in the database after the key noted before
// its first try (SendRequest::afterKey), so that what already reached it is
// never sent again; a request without that key, or a database that cannot
// answer the look-up, is not sent but tried again. Nothing here keeps state or
// decides what happens next: the executor does (send_executor.h). Main thread,
// except confirmPicture.
#pragma once

#include <memory>

#include "platform/messenger/db_manager.h"
#include "tweak/bridge/send_result.h"
#include "tweak/core/send_queue.h"

namespace tweak {

class MessageStore;

// Sends `request` through `manager`, reading `store` back (null: the database
// could not be opened). A picture is handed to the messenger with
// `completion`, which the messenger calls once the picture is stored.
SendResult sendRequest(const SendRequest& request,
                       const std::shared_ptr<platform::messenger::DBManager>& manager,
                       MessageStore* store, platform::messenger::PictureCompletion completion);

// The picture completion's work, on the thread the messenger calls it on: the
// attachment uploaded through the manager captured now, then read back.
SendResult confirmPicture(const SendRequest& request);

}  // namespace tweak
