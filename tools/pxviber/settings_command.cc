// pxviber settings: opens the Settings app on a device, in the foreground.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/foundation/error.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"

namespace pxviber {

namespace fs = std::filesystem;

void addSettingsCommand(CLI::App& app, int& exitCode) {
  struct Options {
    fs::path root;
    std::string open;
    std::string screenshots;
  };
  auto options = std::make_shared<Options>();
  auto* cmd = app.add_subcommand("settings", "open the Settings app on a device");
  addRootOption(cmd, options->root);
  cmd->add_option("--open", options->open, "pane to open at start (label or bundle name)");
  cmd->add_option("--screenshot", options->screenshots,
                  "save PNGs of the pane and of its other-apps page into DIR, then quit");
  cmd->footer(
      "Example: pxviber settings --root /tmp/phone\n"
      "Changes are announced to the device's processes when the device is running.");
  cmd->callback([options, &exitCode] {
    requireDevice(options->root);
    fs::path program = programFolder() / "settings";
    if (::access(program.c_str(), X_OK) != 0) {
      throw platform::Error("the Settings app was not built (configure with -DPXVIBER_GUI=ON)");
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
      throw platform::Error("no display to show the Settings app on (run it under xvfb-run -a)");
    }
    std::vector<std::string> args{program.string(), "--root", options->root.string()};
    if (!options->open.empty()) args.insert(args.end(), {"--open", options->open});
    if (!options->screenshots.empty())
      args.insert(args.end(), {"--screenshot", fs::absolute(options->screenshots).string()});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    exitCode = kFailed;
    throw platform::Error("cannot start " + program.string() + ": " + std::strerror(errno));
  });
}

}  // namespace pxviber
