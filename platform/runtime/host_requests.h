// Requests to a running host process, for the command line and tests: "show
// this bulletin", "answer the open panel", "refresh your manager".
//
// A request is a dictionary with at least "command". The client leaves it as a
// property-list file in the host's request folder
// ("/private/var/run/requests/<Process>/<id>.plist") and posts
// "org.pxviber.request.<Process>"; the host takes every waiting file, answers
// each with a dictionary in "/private/var/run/responses/<id>.plist" and posts
// "org.pxviber.response.<id>". Files carry the data; the bus only wakes the
// other side, as for the tweak's own mailbox.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/foundation/value.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"

namespace platform::runtime {

// Handles one request and answers the response. A handler reports failure in
// the response ("error" => text); an exception it throws becomes such an error.
using HostRequestHandler =
    std::function<foundation::Dictionary(const foundation::Dictionary& request)>;

// Answers one request as a serving host does: by the handler of its "command";
// an unknown command, a request without one, or an exception of the handler
// is answered with "error" => text.
foundation::Dictionary handleHostRequest(const std::map<std::string, HostRequestHandler>& handlers,
                                         const foundation::Dictionary& request);

// Serves requests for `processName` on the current device, on the main run loop.
// Handlers are looked up by the request's "command"; an unknown command is
// answered with an error.
void serveHostRequests(notify::NotifyCenter& center, const std::string& processName,
                       std::map<std::string, HostRequestHandler> handlers);

// Sends `request` to `processName` on the current device and runs `loop` until
// the answer comes; throws platform::Error when none comes within `timeout`.
foundation::Dictionary sendHostRequest(notify::NotifyCenter& center, runloop::RunLoop& loop,
                                       const std::string& processName,
                                       const foundation::Dictionary& request,
                                       runloop::Seconds timeout = runloop::Seconds(20));

}  // namespace platform::runtime
