// One send request carried out inside the messenger, through the captured
// manager, and read back from its database to know what came of it.
//
// A text goes out through the text send and counts as delivered once the
// database holds the outgoing message; a picture goes out through the picture
// send, whose completion uploads the attachment and settles the request once
// the database shows it uploaded. A request that a messenger took before
// without finishing (its claim says so) is first looked for in the database,
// so that what already reached it is not sent again. Main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tweak/core/send_queue.h"

namespace platform::messenger {
class DBManager;
}

namespace tweak {

class MessageStore;

struct SendResult {
  enum class Kind {
    Delivered,  // the database holds it: messageKey
    Failed,     // it never can be sent: reason (an alert text)
    Retry,      // it may go out later: reason (an alert text)
    Waiting,    // a picture whose completion settles it
  };
  Kind kind = Kind::Retry;
  std::int64_t messageKey = 0;
  std::string reason;
};

// Sends `request` through `manager`, reading `store` back (null: the
// database could not be opened); `request.claim` is the claim of an earlier
// messenger, if any.
SendResult sendRequest(const SendRequest& request,
                       const std::shared_ptr<platform::messenger::DBManager>& manager,
                       MessageStore* store);

// The requests of this process whose picture completion has not run yet.
bool isInFlight(const SendRequest& request);
void resetInFlightForTesting();

}  // namespace tweak
