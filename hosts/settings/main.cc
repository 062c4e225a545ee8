// The Settings app of the simulated device: the start-up every host shares,
// with GTK's main loop driving the platform's run loop, then the window.
#include <CLI/CLI.hpp>

#include "hosts/settings/glib_run_loop.h"
#include "hosts/settings/settings_app.h"
#include "platform/runtime/host.h"

int main(int argc, char** argv) {
  hosts::settings::AppOptions options;
  platform::runtime::HostConfig config;
  config.bundleIdentifier = "com.apple.Preferences";
  config.processName = hosts::settings::kProcessName;
  config.needsBus = false;
  config.addOptions = [&options](CLI::App& cli) {
    cli.add_option("--open", options.open, "pane to open at start (label or bundle name)");
    cli.add_option("--screenshot", options.screenshots,
                   "save PNGs of the pane and of its other-apps page into DIR, then quit");
  };
  auto started = platform::runtime::startHost(argc, argv, config);
  if (!started.host) return started.exitCode;
  hosts::settings::attachToGLib(started.host->loop());
  int code = hosts::settings::runSettingsApp(options, *started.host);
  started.host.reset();
  platform::runtime::exitHost(code);
}
