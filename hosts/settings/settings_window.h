// The Settings app's window: the list of installed panes, and the pages of an
// opened pane on a back-navigable page stack (a list page for a list controller,
// a view page for any other), sliding in and out as the stack changes.
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/value.h"

namespace Gtk {
class Window;
}

namespace hosts::settings {

class ListPage;

class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;

  virtual Gtk::Window& window() = 0;

  // Opens the pane named by label or bundle name (the first pane for ""), as a
  // tap on its row does. Answers "" once it is pushed, else the reason (also
  // shown under the list of panes when the pane fails to load).
  virtual std::string open(const std::string& name) = 0;
  // Pops the top page, as the back button does.
  virtual void back() = 0;

  // "title" (the navigation title), "pages" (the stack's depth), "settled" (on
  // screen, and no page sliding), "skippedPanes" (entries the catalogue left
  // out), and what the top page adds (PageWidget::describe()).
  virtual platform::foundation::Dictionary state() const = 0;
  // The top page when it is a list page, else null.
  virtual ListPage* topListPage() const = 0;
};

// Reads the pane catalogue of the current device and builds the window, not yet
// presented.
std::unique_ptr<SettingsWindow> makeSettingsWindow();

}  // namespace hosts::settings
