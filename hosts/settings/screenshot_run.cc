#include "hosts/settings/screenshot_run.h"

#include <glibmm.h>

#include "hosts/settings/settings_driver.h"
#include "platform/foundation/log.h"

namespace hosts::settings {

namespace {

using platform::foundation::NSLog;

// How long to wait for the other-apps page to finish or fail: 600 × 100 ms.
constexpr int kMaxPolls = 600;

bool flag(const platform::foundation::Dictionary& state, const char* key, bool expected) {
  const auto* v = platform::foundation::find(state, key);
  return v && v->asBoolean() && *v->asBoolean() == expected;
}

}  // namespace

ScreenshotRun::ScreenshotRun(SettingsDriver& driver, std::string pane, std::filesystem::path folder,
                             std::function<void(int)> finish)
    : driver_(driver),
      pane_(std::move(pane)),
      folder_(std::move(folder)),
      finish_(std::move(finish)) {}

void ScreenshotRun::start() {
  if (std::string why = driver_.open(pane_); !why.empty()) return finish(why);
  whenSettled([this] { paneShown(); });
}

void ScreenshotRun::paneShown() {
  if (!save("settings-pane.png")) return;
  if (!driver_.tap("viewOtherApps")) return finish("the pane has no viewOtherApps row");
  poll();
}

// Waits for the other-apps page with its label gone.
void ScreenshotRun::poll() {
  if (flag(driver_.state(), "labelShown", false)) {
    return whenSettled([this] {
      if (save("other-apps.png")) finish("");
    });
  }
  if (++polls_ > kMaxPolls) return finish("the other-apps page never finished loading");
  after(100, [this] { poll(); });
}

bool ScreenshotRun::save(const char* name) {
  std::filesystem::path path = folder_ / name;
  if (!driver_.snapshot(path)) {
    finish("cannot save " + path.string());
    return false;
  }
  NSLog("Preferences: saved {}", path.string());
  return true;
}

// Runs `step` once no page is moving and a few more frames have been drawn.
void ScreenshotRun::whenSettled(std::function<void()> step) {
  if (!flag(driver_.state(), "settled", true)) {
    return after(50, [this, step] { whenSettled(step); });
  }
  after(300, std::move(step));
}

void ScreenshotRun::after(unsigned ms, std::function<void()> step) {
  Glib::signal_timeout().connect_once(std::move(step), ms);
}

void ScreenshotRun::finish(const std::string& failure) {
  if (!failure.empty()) NSLog("Preferences: screenshot run failed: {}", failure);
  finish_(failure.empty() ? 0 : 1);
}

}  // namespace hosts::settings
