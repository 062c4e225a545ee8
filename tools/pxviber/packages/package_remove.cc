// Removing a package, and the platform pieces that every device has installed.
#include <algorithm>

#include "platform/foundation/build_info.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "tools/pxviber/packages/dependencies.h"
#include "tools/pxviber/packages/owned_paths.h"
#include "tools/pxviber/packages/package_database.h"
#include "tools/pxviber/packages/package_install.h"

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

std::size_t removeOwnedPaths(const fs::path& root, const std::vector<std::string>& paths,
                             const PackageDatabase& db, const std::string& name) {
  std::size_t files = 0;
  std::vector<fs::path> folders;
  for (auto& p : paths) {
    if (db.owner(p, name)) continue;
    fs::path host = platform::foundation::hostPathIn(root, p);
    std::error_code ec;
    auto status = fs::symlink_status(host, ec);
    if (fs::is_directory(status)) {
      folders.push_back(host);
    } else if (fs::exists(status) && fs::remove(host, ec)) {
      ++files;
    }
  }
  // Deepest first, so that a folder emptied by removing its sub-folder goes too.
  std::sort(folders.begin(), folders.end(),
            [](const fs::path& a, const fs::path& b) { return a.string() > b.string(); });
  for (auto& f : folders) {
    std::error_code ec;
    if (fs::is_empty(f, ec)) fs::remove(f, ec);
  }
  return files;
}

RemoveReport removePackage(const fs::path& root, const std::string& name) {
  try {
    DatabaseLock lock(root);
    PackageDatabase db(root);
    if (!db.find(name)) throw Error("the package " + name + " is not installed");
    if (auto other = dependent(db, name)) throw Error("the package " + *other + " needs it");
    RemoveReport report{name, removeOwnedPaths(root, db.files(name), db, name)};
    db.forget(name);
    return report;
  } catch (const Error& e) {
    throw Error("cannot remove " + name + " from " + root.string() + ": " + e.what());
  }
}

void registerPlatformPackages(const fs::path& root, int iosVersion,
                              const std::string& architecture) {
  DatabaseLock lock(root);
  PackageDatabase db(root);
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
