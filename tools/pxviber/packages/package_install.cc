#include "tools/pxviber/packages/package_install.h"

#include <set>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "tools/pxviber/packages/deb_archive.h"
#include "tools/pxviber/packages/dependencies.h"
#include "tools/pxviber/packages/device_records.h"
#include "tools/pxviber/packages/device_tree.h"
#include "tools/pxviber/packages/file_transaction.h"
#include "tools/pxviber/packages/install_plan.h"
#include "tools/pxviber/packages/owned_paths.h"
#include "tools/pxviber/packages/package_database.h"

namespace pxviber::packages {

namespace fs = std::filesystem;
using platform::Error;

namespace {

std::string deviceArchitecture(const DeviceTree& tree) {
  auto bytes = tree.read(kSettingsFile);
  auto plist = bytes ? platform::foundation::parsePropertyList(*bytes) : std::nullopt;
  if (!plist || !plist->asDictionary()) throw Error("no device at " + tree.hostPath("").string());
  return platform::foundation::DeviceSettings::fromDictionary(*plist->asDictionary()).architecture;
}

void checkArchitecture(const DebPackage& package, const DeviceTree& tree) {
  std::string device = deviceArchitecture(tree);
  if (package.architecture() != device && package.architecture() != "all") {
    throw Error("the package " + package.name() + " is built for " + package.architecture() +
                ", the device at " + tree.hostPath("").string() + " is " + device);
  }
}

void checkDependencies(const DebPackage& package, const PackageDatabase& db) {
  for (auto& alternatives : parseDepends(fieldOf(package.control, "Depends").value_or(""))) {
    bool met = false;
    for (auto& r : alternatives) {
      auto installed = db.find(r.package);
      met = met || (installed && versionSatisfies(fieldOf(*installed, "Version").value_or(""), r));
    }
    if (!met)
      throw Error("the package " + package.name() + " needs " + describe(alternatives) +
                  ", which the device does not have");
  }
}

// Removes the paths of the earlier version that the new one no longer has.
// The new version is in place and recorded by then: a path that cannot be
// removed stays behind, and the install stands.
void removeLeftovers(DeviceTree& tree, const std::vector<std::string>& old,
                     const std::vector<std::string>& now, const PackageDatabase& db,
                     const std::string& name) {
  std::set<std::string> kept(now.begin(), now.end());
  std::vector<std::string> gone;
  for (auto& p : old) {
    if (!kept.count(p)) gone.push_back(p);
  }
  try {
    removeOwnedPaths(tree, gone, db, name);
  } catch (const Error&) {
  }
}

InstallReport install(DeviceTree& tree, const DebPackage& package, PackageDatabase& db) {
  std::string name = package.name();
  checkArchitecture(package, tree);
  checkDependencies(package, db);
  InstallPlan plan = planInstall(tree, package, db);
  InstallReport report{name, package.version(), package.architecture(), plan.members.size(),
                       db.find(name).has_value()};
  std::vector<std::string> old = db.files(name);
  FileTransaction t(tree);
  for (auto& folder : plan.folders) t.makeFolder(folder);
  for (auto& [f, place] : plan.members) {
    if (f->kind == PackageFile::Kind::File) t.stageFile(place, f->content, f->mode);
    if (f->kind == PackageFile::Kind::Symlink) t.stageLink(place, f->target);
  }
  t.commit();
  db.record(package.control, plan.list);
  t.finish();
  removeLeftovers(tree, old, plan.list, db, name);
  return report;
}

}  // namespace

InstallReport installPackage(DeviceTree& tree, const fs::path& deb) {
  try {
    lockDatabase(tree);
    PackageDatabase db(tree);
    return install(tree, readDebPackage(deb), db);
  } catch (const Error& e) {
    throw Error("cannot install " + deb.string() + ": " + e.what() + "; nothing was installed");
  }
}

InstallReport installPackage(const fs::path& root, const fs::path& deb) {
  std::unique_ptr<DeviceTree> tree;
  try {
    tree = openDeviceTree(root);
  } catch (const Error& e) {
    throw Error("cannot install " + deb.string() + ": " + e.what() + "; nothing was installed");
  }
  return installPackage(*tree, deb);
}

}  // namespace pxviber::packages
