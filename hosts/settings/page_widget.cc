#include "hosts/settings/page_widget.h"

#include <gtkmm.h>

namespace hosts::settings {

Gtk::Label* makeNote(const std::string& text, const char* cssClass) {
  auto* label = Gtk::make_managed<Gtk::Label>(text);
  label->set_xalign(0);
  label->set_wrap(true);
  if (cssClass) label->add_css_class(cssClass);
  return label;
}

std::string bulletList(const std::string& heading, const std::vector<std::string>& lines) {
  std::string text = heading;
  for (auto& line : lines) text += "\n• " + line;
  return text;
}

}  // namespace hosts::settings
