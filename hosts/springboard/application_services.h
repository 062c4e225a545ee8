// The springboard's applications: SBApplicationController and UIApplication's
// launching over real processes, and the requests by which the command line
// moves an application between foreground, background and suspended.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/runtime/host_requests.h"

namespace hosts {

// Registers "SBApplicationController" and the shared UIApplication; needs the
// main run loop.
void registerApplicationServices();

// "app": {"action": "state"|"activate"|"suspend"|"background", "identifier": id}
// answers {"state": n, "name": text}. "reply": answers the open panel, see
// reply_service.h.
std::map<std::string, platform::runtime::HostRequestHandler> applicationRequestHandlers();

// What was done to applications so far ("launch com.viber background", "resume com.viber").
std::vector<std::string> applicationActions();

}  // namespace hosts
