// The platform services that the springboard host provides to tweaks.
#pragma once

#include <map>
#include <string>

#include "platform/runtime/host_requests.h"

namespace hosts {

// Registers the platform classes the springboard offers ("Couria",
// "SBApplicationController"...) and installs the alert presenter, which prints
// each alert and writes it to the log.
void registerSpringboardServices();

// Every request the springboard answers for the command line.
std::map<std::string, platform::runtime::HostRequestHandler> springboardRequestHandlers();

}  // namespace hosts

#include <map>
#include <string>

#include "platform/runtime/host_requests.h"

namespace hosts {

// Keeps every alert shown (and prints it in the terminal) in front of the
// presenter installed by registerSpringboardServices.
void recordSpringboardAlerts();

// "alerts": the alerts shown so far, oldest first, under "alerts", each a
// dictionary with "title", "message" (absent when nil) and "buttons".
std::map<std::string, platform::runtime::HostRequestHandler> springboardAlertRequestHandlers();

}  // namespace hosts
