// Driving the Settings app from outside, as a user would: the seam through
// which tests and scripts (host requests) and the screenshot run reach the
// window. Each action goes through the widget, as a click or typing does, so
// what it answers is what the window then shows.
//
// Main thread only.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace hosts::settings {

class SettingsWindow;

class SettingsDriver {
 public:
  virtual ~SettingsDriver() = default;

  // The window's state (SettingsWindow::state()): for a list page "rows" (key
  // => the value shown), "refused" (keys of the fields marked as refused) and
  // "skipped"; for a view page "labelShown".
  virtual platform::foundation::Dictionary state() const = 0;
  // Opens a pane by label or bundle name; answers "" or the reason it cannot.
  virtual std::string open(const std::string& pane) = 0;
  // Flips the switch of `key` on the list page shown; answers its new value, or
  // nullopt when the page shows no such switch.
  virtual std::optional<bool> toggle(const std::string& key) = 0;
  // Types `text` into the field of `key` and presses Enter; answers whether the
  // field took it (false: it is marked as refused), or nullopt when there is no
  // such field.
  virtual std::optional<bool> type(const std::string& key, const std::string& text) = 0;
  // Clicks the button of `action`; false when there is none.
  virtual bool tap(const std::string& action) = 0;
  // The back button.
  virtual void back() = 0;
  // Saves the window as a PNG (snapshot.h); false when it could not be drawn.
  virtual bool snapshot(const std::filesystem::path& path) = 0;
};

// A driver for `window`, which must outlive it.
std::unique_ptr<SettingsDriver> makeWindowDriver(SettingsWindow& window);

}  // namespace hosts::settings
