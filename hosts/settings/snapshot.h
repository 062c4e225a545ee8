// Pictures of the app's widgets, for tests and the screenshot run.
#pragma once

#include <filesystem>

namespace Gtk {
class Widget;
}

namespace hosts::settings {

// Renders `widget` as it is drawn now into a PNG file at `path` (making its
// folder). Answers false when the widget has no size or no window yet, or the
// file cannot be written: a page that has just re-laid itself out may have
// nothing to render for a frame.
bool savePNG(Gtk::Widget& widget, const std::filesystem::path& path);

}  // namespace hosts::settings
