#include <gtkmm.h>

#include "hosts/settings/list_page.h"
#include "hosts/settings/settings_driver.h"
#include "hosts/settings/settings_window.h"
#include "hosts/settings/snapshot.h"
#include "platform/foundation/error.h"

namespace hosts::settings {

namespace {

using platform::foundation::Dictionary;

class WindowDriver final : public SettingsDriver {
 public:
  explicit WindowDriver(SettingsWindow& window) : window_(window) {}

  Dictionary state() const override { return window_.state(); }
  std::string open(const std::string& pane) override { return window_.open(pane); }
  void back() override { window_.back(); }
  bool snapshot(const std::filesystem::path& path) override {
    return savePNG(window_.window(), path);
  }

  std::optional<bool> toggle(const std::string& key) override {
    Gtk::Switch* sw = page() ? page()->switchFor(key) : nullptr;
    if (!sw) return std::nullopt;
    sw->set_active(!sw->get_active());
    return sw->get_active();
  }

  std::optional<bool> type(const std::string& key, const std::string& text) override {
    Gtk::Entry* entry = page() ? page()->fieldFor(key) : nullptr;
    if (!entry) return std::nullopt;
    entry->set_text(text);
    // What pressing Enter in the field does.
    g_signal_emit_by_name(entry->gobj(), "activate");
    return !entry->has_css_class(kRefusedFieldClass);
  }

  bool tap(const std::string& action) override {
    Gtk::Button* button = page() ? page()->buttonFor(action) : nullptr;
    if (!button) return false;
    // What a click does, without the pressed look that delays the signal.
    g_signal_emit_by_name(button->gobj(), "clicked");
    return true;
  }

 private:
  ListPage* page() const { return window_.topListPage(); }

  SettingsWindow& window_;
};

}  // namespace

std::unique_ptr<SettingsDriver> makeWindowDriver(SettingsWindow& window) {
  return std::make_unique<WindowDriver>(window);
}

}  // namespace hosts::settings
