// The platform services that the springboard host provides to tweaks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/runtime/host_requests.h"
#include "platform/springboard/alert.h"

namespace hosts {

// Registers the platform classes the springboard offers ("Couria",
// "SBApplicationController"...), installs the alert presenter, which prints
// each alert and writes it to the log, and puts the post watch (post_watch.h)
// in front of the notify centre.
void registerSpringboardServices();

// Every request the springboard answers for the command line.
std::map<std::string, platform::runtime::HostRequestHandler> springboardRequestHandlers();

// --- Alerts shown, for the command line and tests ---

// Every alert shown so far, oldest first; an alert as the requests answer it
// ("title", "message" when not nil, "buttons").
const std::vector<platform::springboard::Alert>& shownAlerts();
platform::foundation::Value alertValue(const platform::springboard::Alert& alert);

// Keeps every alert shown (and prints it in the terminal) in front of the
// presenter installed by registerSpringboardServices.
void recordSpringboardAlerts();

// "alerts": the alerts shown so far, oldest first, under "alerts", each a
// dictionary with "title", "message" (absent when nil) and "buttons".
std::map<std::string, platform::runtime::HostRequestHandler> springboardAlertRequestHandlers();

}  // namespace hosts
