// Removing a package, and the platform pieces that every device has installed.
#include <algorithm>
#include <set>

#include "platform/foundation/build_info.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "tools/pxviber/packages/dependencies.h"
#include "tools/pxviber/packages/device_records.h"
#include "tools/pxviber/packages/owned_paths.h"
#include "tools/pxviber/packages/package_database.h"
#include "tools/pxviber/packages/package_install.h"
#include "tools/pxviber/packages/path_resolver.h"

namespace pxviber::packages {

namespace fs = std::filesystem;
using platform::Error;

namespace {

// The installed package that needs `name` with no other way to be satisfied.
std::optional<std::string> dependent(const PackageDatabase& db, const std::string& name) {
  for (auto& stanza : db.installed()) {
    std::string other = fieldOf(stanza, "Package").value_or("");
    for (auto& alternatives : parseDepends(fieldOf(stanza, "Depends").value_or(""))) {
      bool onName = false, otherwise = false;
      for (auto& r : alternatives) {
        onName = onName || r.package == name;
        otherwise = otherwise || (r.package != name && db.find(r.package));
      }
      if (onName && !otherwise) return other;
    }
  }
  return std::nullopt;
}

struct PlatformPiece {
  const char* name;
  const char* description;
  std::vector<std::string> folders;
};

std::vector<PlatformPiece> platformPieces() {
  return {
      {"firmware", "the device's iOS version", {}},
      {"mobilesubstrate",
       "loads tweaks by their filters",
       {"/Library", "/Library/MobileSubstrate", "/Library/MobileSubstrate/DynamicLibraries"}},
      {"preferenceloader",
       "lists and loads settings panes",
       {"/Library", "/Library/PreferenceLoader", "/Library/PreferenceLoader/Preferences",
        "/Library/PreferenceBundles"}},
      {"applist", "application catalogue", {}},
      {"couria", "quick-reply panels in the springboard", {}},
  };
}

}  // namespace

std::size_t removeOwnedPaths(DeviceTree& tree, const std::vector<std::string>& paths,
                             const PackageDatabase& db, const std::string& name) {
  PathResolver resolver(tree);
  std::set<std::string> holders;  // the paths that hold others of the list
  for (auto& p : paths) {
    for (auto slash = p.rfind('/'); slash != std::string::npos && slash > 0;
         slash = p.rfind('/', slash - 1))
      holders.insert(p.substr(0, slash));
  }
  std::size_t files = 0;
  std::vector<std::string> folders;
  for (auto& p : paths) {
    if (p.size() < 2 || p.front() != '/' || !isPlainPath(std::string_view(p).substr(1))) continue;
    if (db.owner(p, name)) continue;
    auto slash = p.rfind('/');
    auto parent = resolver.resolve("", p.substr(1, slash == 0 ? 0 : slash - 1), true);
    if (parent.outcome != PathResolver::Result::Outcome::Inside) continue;
    std::string place = (parent.place.empty() ? "" : parent.place + "/") + p.substr(slash + 1);
    if (deviceOwned(place) != DeviceOwned::No) continue;
    if (place != p.substr(1) && db.owner("/" + place, name)) continue;
    auto kind = tree.look(place).kind;
    if (kind == DeviceTree::Entry::Kind::Folder) {
      folders.push_back(place);
    } else if (kind != DeviceTree::Entry::Kind::Missing && !holders.count(p)) {
      tree.remove(place);
      ++files;
    }
  }
  // Deepest first, so that a folder emptied by removing its sub-folder goes too.
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
  });
  for (auto& f : folders) {
    if (tree.isEmptyFolder(f)) tree.removeFolder(f);
  }
  return files;
}

RemoveReport removePackage(const fs::path& root, const std::string& name) {
  try {
    auto tree = openDeviceTree(root);
    lockDatabase(*tree);
    PackageDatabase db(*tree);
    if (!db.find(name)) throw Error("the package " + name + " is not installed");
    if (auto other = dependent(db, name)) throw Error("the package " + *other + " needs it");
    RemoveReport report{name, removeOwnedPaths(*tree, db.files(name), db, name)};
    db.forget(name);
    return report;
  } catch (const Error& e) {
    throw Error("cannot remove " + name + " from " + root.string() + ": " + e.what());
  }
}

void registerPlatformPackages(const fs::path& root, int iosVersion,
                              const std::string& architecture) {
  auto tree = openDeviceTree(root);
  lockDatabase(*tree);
  PackageDatabase db(*tree);
  for (auto& piece : platformPieces()) {
    std::string version = piece.name == std::string("firmware")
                              ? std::to_string(iosVersion) + ".0"
                              : platform::foundation::kProjectVersion;
    ControlFields control{{"Package", piece.name},
                          {"Version", version},
                          {"Architecture", architecture},
                          {"Maintainer", "the simulated device"},
                          {"Description", std::string("platform: ") + piece.description}};
    db.record(control, piece.folders);
  }
}

}  // namespace pxviber::packages
