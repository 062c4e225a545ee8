// What the window shows for one page of the stack, and the small widgets that
// every page shares. Pages are built from GTK widgets; this header names them
// only, so that the window and the driver stay apart from each page's makings.
#pragma once

#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace Gtk {
class Label;
class Widget;
}  // namespace Gtk

namespace hosts::settings {

class PageWidget {
 public:
  virtual ~PageWidget() = default;
  // The page's top widget, added to the window's stack; owned by the page.
  virtual Gtk::Widget& widget() = 0;
  // Adds what the page shows to `state` (see SettingsDriver::state()).
  virtual void describe(platform::foundation::Dictionary& state) const = 0;
};

// A left-aligned, wrapping label owned by the container it is added to, with the
// CSS class `cssClass` when one is given.
Gtk::Label* makeNote(const std::string& text, const char* cssClass = nullptr);

// A note listing `lines` under `heading`, one bullet each.
std::string bulletList(const std::string& heading, const std::vector<std::string>& lines);

}  // namespace hosts::settings
