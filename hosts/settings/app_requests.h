// The host requests that drive a running Settings app, for tests and scripts:
// "state", "open" (pane), "toggle" (key), "type" (key, text), "tap" (action),
// "back" and "snapshot" (path). Each works through the driver; a request the
// page cannot carry out (no such row, a missing argument) is answered with an
// error.
#pragma once

#include <map>
#include <string>

#include "platform/runtime/host_requests.h"

namespace hosts::settings {

class SettingsDriver;

// The handlers, which use `driver` for as long as they are served.
std::map<std::string, platform::runtime::HostRequestHandler> settingsRequestHandlers(
    SettingsDriver& driver);

}  // namespace hosts::settings
