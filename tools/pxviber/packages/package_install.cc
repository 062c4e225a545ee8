#include "tools/pxviber/packages/package_install.h"

#include <set>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "tools/pxviber/packages/deb_archive.h"
#include "tools/pxviber/packages/dependencies.h"
#include "tools/pxviber/packages/file_transaction.h"
#include "tools/pxviber/packages/owned_paths.h"
#include "tools/pxviber/packages/package_database.h"

namespace pxviber::packages {

namespace fs = std::filesystem;
using platform::Error;

namespace {

std::string deviceArchitecture(const fs::path& root) {
  auto plist = platform::foundation::readDictionaryFile(root / "device.plist");
  if (!plist) throw Error("no device at " + root.string());
  return platform::foundation::DeviceSettings::fromDictionary(*plist).architecture;
}

void checkArchitecture(const DebPackage& package, const fs::path& root) {
  std::string device = deviceArchitecture(root);
  if (package.architecture() != device && package.architecture() != "all") {
    throw Error("the package " + package.name() + " is built for " + package.architecture() +
                ", the device at " + root.string() + " is " + device);
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

// The host path of a package path, checked to lie inside the root once every
// link on the way (the device's own included) is followed.
fs::path placeOf(const fs::path& root, const PackageFile& file, const std::string& what) {
  fs::path host = platform::foundation::hostPathIn(root, "/" + file.path);
  fs::path canonicalRoot = fs::weakly_canonical(root);
  // A link entry is itself placed, not followed: its folder must be inside.
  fs::path resolved =
      fs::weakly_canonical(file.kind == PackageFile::Kind::Symlink ? host.parent_path() : host);
  auto rel = resolved.lexically_relative(canonicalRoot);
  if (rel.empty() || *rel.begin() == "..")
    throw Error("the package " + what + " would put \"" + file.path +
                "\" outside the device root, through a link on the device");
  return host;
}

void checkPlace(const fs::path& host, const PackageFile& file, const PackageDatabase& db,
                const std::string& name) {
  std::error_code ec;
  auto status = fs::symlink_status(host, ec);
  bool isFolder = fs::is_directory(host, ec);
  if (file.kind == PackageFile::Kind::Directory) {
    if (fs::exists(status) && !isFolder)
      throw Error("the package " + name + " has a folder " + file.path +
                  " where the device has a file");
    return;
  }
  if (isFolder && status.type() != fs::file_type::symlink)
    throw Error("the package " + name + " has a file " + file.path +
                " where the device has a folder");
  if (auto other = db.owner("/" + file.path, name))
    throw Error("the package " + name + " would overwrite /" + file.path + " of the package " +
                *other);
}

// Every folder that holds one of the package's paths, and the paths themselves,
// as device paths in the order to record them.
std::vector<std::string> listOf(const DebPackage& package) {
  std::vector<std::string> list;
  std::set<std::string> seen;
  for (auto& f : package.files) {
    std::string path;
    for (auto& part : fs::path(f.path)) {
      path += "/" + part.string();
      if (seen.insert(path).second) list.push_back(path);
    }
  }
  return list;
}

// Removes the paths of the earlier version that the new one no longer has.
void removeLeftovers(const fs::path& root, const std::vector<std::string>& old,
                     const std::vector<std::string>& now, const PackageDatabase& db,
                     const std::string& name) {
  std::set<std::string> kept(now.begin(), now.end());
  std::vector<std::string> gone;
  for (auto& p : old) {
    if (!kept.count(p)) gone.push_back(p);
  }
  removeOwnedPaths(root, gone, db, name);
}

InstallReport install(const fs::path& root, const DebPackage& package, PackageDatabase& db) {
  std::string name = package.name();
  checkArchitecture(package, root);
  checkDependencies(package, db);
  std::vector<std::pair<fs::path, const PackageFile*>> places;
  for (auto& f : package.files) {
    fs::path host = placeOf(root, f, name);
    checkPlace(host, f, db, name);
    places.emplace_back(host, &f);
  }
  InstallReport report{name, package.version(), package.architecture(), 0,
                       db.find(name).has_value()};
  std::vector<std::string> old = db.files(name);
  FileTransaction t;
  for (auto& [host, f] : places) {
    if (f->kind == PackageFile::Kind::Directory) t.makeFolder(host);
    if (f->kind == PackageFile::Kind::File) t.stageFile(host, f->content, f->mode);
    if (f->kind == PackageFile::Kind::Symlink) t.stageLink(host, f->target);
    report.files += f->kind != PackageFile::Kind::Directory;
  }
  t.commit();
  std::vector<std::string> list = listOf(package);
  db.record(package.control, list);
  t.finish();
  removeLeftovers(root, old, list, db, name);
  return report;
}

}  // namespace

InstallReport installPackage(const fs::path& root, const fs::path& deb) {
  try {
    DatabaseLock lock(root);
    PackageDatabase db(root);
    return install(root, readDebPackage(deb), db);
  } catch (const Error& e) {
    throw Error("cannot install " + deb.string() + ": " + e.what() + "; nothing was installed");
  }
}

}  // namespace pxviber::packages
