// pxviber device install|remove: packages on a device, as the phone's package
// manager handles them.
#include <CLI/CLI.hpp>
#include <iostream>

#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/packages/package_install.h"

namespace pxviber {

namespace fs = std::filesystem;

namespace {

void addInstallCommand(CLI::App* device, int& exitCode) {
  struct Options {
    fs::path root;
    fs::path package;
  };
  auto o = std::make_shared<Options>();
  auto* cmd = device->add_subcommand("install", "install a Debian package on the device");
  addRootOption(cmd, o->root);
  cmd->add_option("PACKAGE", o->package, "the package file (.deb)")->required();
  cmd->footer(
      "Example: pxviber device install --root /tmp/phone "
      "build/packages/org.northquay.parlexforviber_0.1.0_amd64.deb");
  cmd->callback([o, &exitCode] {
    requireDevice(o->root);
    auto r = packages::installPackage(o->root, o->package);
    std::cout << (r.replaced ? "replaced " : "installed ") << r.name << " " << r.version << " ("
              << r.architecture << "): " << r.files << " files\n";
    exitCode = kOk;
  });
}

void addRemoveCommand(CLI::App* device, int& exitCode) {
  struct Options {
    fs::path root;
    std::string name;
  };
  auto o = std::make_shared<Options>();
  auto* cmd = device->add_subcommand("remove", "remove an installed package from the device");
  addRootOption(cmd, o->root);
  cmd->add_option("NAME", o->name, "the package's name")->required();
  cmd->footer("Example: pxviber device remove --root /tmp/phone org.northquay.parlexforviber");
  cmd->callback([o, &exitCode] {
    requireDevice(o->root);
    auto r = packages::removePackage(o->root, o->name);
    std::cout << "removed " << r.name << ": " << r.files << " files\n";
    exitCode = kOk;
  });
}

}  // namespace

void addPackageCommands(CLI::App& app, int& exitCode) {
  CLI::App* device = app.get_subcommand("device");
  addInstallCommand(device, exitCode);
  addRemoveCommand(device, exitCode);
}

}  // namespace pxviber
