// The reply typed into Couria's open panel, for the command line: the request
// "reply" with "text" (a string) or "photo" (a file path) makes the panel call its
// extension's sendMessage with a message whose content is the text, or the
// photo's file URL. The answer holds "user", the send-request keys of the mailbox
// as they stood when the send notification went out ("mailbox"), and what was
// done to the messenger ("wake").
#pragma once

#include "platform/runtime/host_requests.h"

namespace hosts {

platform::foundation::Dictionary answerReply(const platform::foundation::Dictionary& request);

}  // namespace hosts
