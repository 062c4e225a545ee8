// The page of a list controller: its specifier list shown as rows. A switch per
// switch row; a text field per text row (a number field stores only whole
// numbers within the row's bounds, and marks anything else as refused, with a
// hint, until an acceptable value replaces it); buttons that send the row's
// action to the controller or push the page it names; group headers and
// footers; and a note listing the rows the specifier list could not offer.
#pragma once

#include <memory>
#include <string>

#include "hosts/settings/page_widget.h"
#include "platform/preferences/list_controller.h"

namespace Gtk {
class Button;
class Entry;
class Switch;
}  // namespace Gtk

namespace hosts::settings {

// The CSS class of a field whose text was refused (drawn red, with its hint).
inline constexpr const char* kRefusedFieldClass = "error";

class ListPage : public PageWidget {
 public:
  // The widgets of the row for a settings key or a button's action (or the
  // controller class a link row pushes); null when the page has none. They are
  // owned by the page. A driver works them as a user's click or typing does.
  virtual Gtk::Switch* switchFor(const std::string& key) const = 0;
  virtual Gtk::Entry* fieldFor(const std::string& key) const = 0;
  virtual Gtk::Button* buttonFor(const std::string& action) const = 0;
};

// The page keeps the controller weakly: the page stack owns it.
std::unique_ptr<ListPage> makeListPage(
    const std::shared_ptr<platform::preferences::PSListController>& controller);

}  // namespace hosts::settings
