// The Settings app's window (GTK 4): the list of panes, the pages of an opened
// pane on a back-navigable page stack, and web pages in WebKitGTK.
//
// A list page shows a list controller's rows: a switch per switch row, a number
// field that stores only whole numbers within the row's bounds, buttons that
// send the row's action to the controller, group headers and footers, and a note
// listing the rows the specifier list could not offer. Any other page shows its
// controller's view: its web views and labels where their frames put them.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace platform::notify {
class NotifyCenter;
}

namespace hosts::settings {

// The app's process name; its pid file is "/private/var/run/Preferences.pid".
inline constexpr const char* kProcessName = "Preferences";

struct AppOptions {
  // The pane to open at start, by label or bundle name; empty: the list of panes.
  std::string open;
  // Screenshot run: opens the pane (the first one unless `open` names one),
  // saves "settings-pane.png" into this folder, opens the other-apps page by its
  // button, waits until its load has finished or failed, saves "other-apps.png"
  // and quits.
  std::filesystem::path screenshots;
};

// Runs the app until its window closes or it gets SIGTERM or SIGINT, or the
// screenshot run ends. With `center` (the device is running) the app serves host
// requests that drive its widgets, for tests and scripts: "state", "open"
// (pane), "toggle" (key), "type" (key, text), "tap" (action), "back" and
// "snapshot" (path). Answers the exit code: 0, or 1 when the screenshot run
// could not complete.
int runSettingsApp(const AppOptions& options,
                   const std::shared_ptr<platform::notify::NotifyCenter>& center);

}  // namespace hosts::settings
