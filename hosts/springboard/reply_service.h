// The reply typed into Couria's open panel, for the command line: the request
// "reply" with "text" (a string) or "photo" (a file path) makes the panel call
// its extension's sendMessage with a message whose content is the text, or the
// photo's file URL.
//
// The request may name a property-list file of the device and some of its keys
// under "snapshot" ({"file": device path, "keys": [names]}): those keys are
// read at the first notification the extension posts, the moment at which
// whatever it announces is known to be on disk (a running receiver may change
// the file right after). The answer holds "user", "posted" (whether anything
// was posted), "snapshot" (the keys read; absent without a post), the alerts
// shown during the call ("alerts", each with "title" and "message") and what
// was done to applications ("wake").
#pragma once

#include "platform/runtime/host_requests.h"

namespace hosts {

platform::foundation::Dictionary answerReply(const platform::foundation::Dictionary& request);

}  // namespace hosts
