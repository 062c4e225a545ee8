#include "hosts/settings/settings_app.h"

#include <glib-unix.h>
#include <gtkmm.h>

#include "hosts/settings/app_requests.h"
#include "hosts/settings/screenshot_run.h"
#include "hosts/settings/settings_driver.h"
#include "hosts/settings/settings_window.h"
#include "hosts/settings/web_kit_engine.h"
#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "platform/preferences/services.h"
#include "platform/preferences/ui_view.h"
#include "platform/preferences/view_controller.h"
#include "platform/runtime/host.h"

namespace hosts::settings {

namespace {

namespace pp = platform::preferences;

constexpr const char* kStyle = R"(
.group-header { font-weight: bold; }
.warning-note { color: #a05a00; }
.error-hint { color: #c01c28; font-size: smaller; }
)";

gboolean quitOnSignal(gpointer app) {
  static_cast<Gtk::Application*>(app)->quit();
  return G_SOURCE_CONTINUE;
}

void loadStyle() {
  auto css = Gtk::CssProvider::create();
  css->load_from_data(kStyle);
  Gtk::StyleContext::add_provider_for_display(Gdk::Display::get_default(), css,
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// What lives while the app runs: the window, its driver and a screenshot run.
struct Session {
  std::unique_ptr<SettingsWindow> window;
  std::unique_ptr<SettingsDriver> driver;
  std::unique_ptr<ScreenshotRun> screenshots;
  int exitCode = 0;
};

// What the options ask for once the window is up: the screenshot run, or a
// pane opened at start.
void begin(Session& s, const AppOptions& options, const Glib::RefPtr<Gtk::Application>& app) {
  if (options.screenshots.empty()) {
    std::string why = options.open.empty() ? "" : s.window->open(options.open);
    if (!why.empty()) platform::foundation::NSLog("Preferences: {}", why);
    return;
  }
  auto finish = [&s, app](int code) {
    s.exitCode = code;
    app->quit();
  };
  s.screenshots =
      std::make_unique<ScreenshotRun>(*s.driver, options.open, options.screenshots, finish);
  s.screenshots->start();
}

void activate(Session& s, const AppOptions& options, platform::runtime::Host& host,
              const Glib::RefPtr<Gtk::Application>& app) {
  loadStyle();
  s.window = makeSettingsWindow();
  app->add_window(s.window->window());
  s.window->window().present();
  s.driver = makeWindowDriver(*s.window);
  host.serveRequests(settingsRequestHandlers(*s.driver));
  if (!host.markReady()) platform::foundation::NSLog("Preferences: cannot write the pid file");
  begin(s, options, app);
}

}  // namespace

int runSettingsApp(const AppOptions& options, platform::runtime::Host& host) {
  auto settings = platform::foundation::loadDeviceSettings();
  // The page area: the screen below the status and navigation bars (64 points).
  pp::setDefaultPageFrame(pp::CGRectMake(0, 0, settings.screenWidth, settings.screenHeight - 64));
  pp::services().webEngine = makeWebKitEngine();

  auto app =
      Gtk::Application::create("org.pxviber.Preferences", Gio::Application::Flags::NON_UNIQUE);
  Session session;
  app->signal_activate().connect([&] { activate(session, options, host, app); });
  g_unix_signal_add(SIGTERM, quitOnSignal, app.get());
  g_unix_signal_add(SIGINT, quitOnSignal, app.get());
  // GTK's own options are not ours: the app gets no command line.
  char name[] = "settings";
  char* argv[] = {name, nullptr};
  int status = app->run(1, argv);
  session.screenshots.reset();
  session.driver.reset();
  session.window.reset();
  pp::resetServices();
  return status != 0 ? status : session.exitCode;
}

}  // namespace hosts::settings
