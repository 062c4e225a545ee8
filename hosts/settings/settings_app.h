// The Settings app (GTK 4): the window with the list of panes and the pages of
// an opened pane (settings_window.h), web pages in WebKitGTK, and the requests
// that drive it on a running device (app_requests.h).
#pragma once

#include <filesystem>
#include <string>

namespace platform::runtime {
class Host;
}

namespace hosts::settings {

// The app's process name; its pid file is "/private/var/run/Preferences.pid".
inline constexpr const char* kProcessName = "Preferences";

struct AppOptions {
  // The pane to open at start, by label or bundle name; empty: the list of panes.
  std::string open;
  // Screenshot run (screenshot_run.h) into this folder, then quit; the pane is
  // `open`, or the first one.
  std::filesystem::path screenshots;
};

// Runs the app on the started `host` until its window closes, it gets SIGTERM or
// SIGINT, or the screenshot run ends. With the device bus (the device is running)
// the app serves the driving requests. Marks the host ready once the window is
// up. Answers the exit code: 0, or 1 when the screenshot run could not complete.
int runSettingsApp(const AppOptions& options, platform::runtime::Host& host);

}  // namespace hosts::settings
