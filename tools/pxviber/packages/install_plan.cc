#include "tools/pxviber/packages/install_plan.h"

#include <set>

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/device_records.h"
#include "tools/pxviber/packages/file_transaction.h"
#include "tools/pxviber/packages/path_resolver.h"

namespace pxviber::packages {

namespace {

using platform::Error;
using Kind = DeviceTree::Entry::Kind;
using Outcome = PathResolver::Result::Outcome;

std::string parentOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// A path as a message shows it: a long one cut short.
std::string shown(const std::string& path) {
  if (path.size() <= 100) return path;
  return path.substr(0, 60) + "... (" + std::to_string(path.size()) + " bytes)";
}

class Planner {
 public:
  Planner(const DeviceTree& tree, const DebPackage& package, const PackageDatabase& db)
      : tree_(tree), package_(package), db_(db), resolver_(tree) {}

  InstallPlan run() {
    for (auto& f : package_.files) place(f);
    return std::move(plan_);
  }

 private:
  Error refused(const std::string& why) const {
    return Error("the package " + package_.name() + " " + why);
  }

  // Bytes a file or link needs beyond its name while it is staged or set aside.
  static std::size_t suffixFor(const PackageFile& f) {
    return f.kind == PackageFile::Kind::Directory
               ? 0
               : std::max(kStagingSuffix.size(), kAsideSuffix.size());
  }

  // Names and host paths past the file system's limits; checked on the name
  // as written before anything is looked up (a lookup would only fail), and
  // on the place it leads to.
  void checkLimits(const PackageFile& f, const std::string& path) const {
    std::size_t suffix = suffixFor(f);
    std::size_t at = 0;
    while (at < path.size()) {
      auto slash = path.find('/', at);
      std::size_t end = slash == std::string::npos ? path.size() : slash;
      std::size_t room = tree_.nameLimit() - (end == path.size() ? suffix : 0);
      if (end - at > room)
        throw refused("has a name longer than the device's file system takes: \"" + shown(path) +
                      "\" (" + std::to_string(end - at) + " bytes in one name, at most " +
                      std::to_string(room) + ")");
      at = end + 1;
    }
    std::size_t length = tree_.hostPath(path).native().size() + suffix;
    if (length > tree_.pathLimit())
      throw refused("has a path longer than the device's file system takes: \"" + shown(path) +
                    "\" (" + std::to_string(length) + " bytes on the device at " +
                    tree_.hostPath("").string() + ", at most " + std::to_string(tree_.pathLimit()) +
                    ")");
  }

  void checkResolution(const PackageFile& f, const PathResolver::Result& r) const {
    std::string where = "\"" + shown(f.path) + "\"";
    switch (r.outcome) {
      case Outcome::Inside:
        return;
      case Outcome::Outside:
        throw refused("would put " + where +
                      " outside the device root, through a link on the device");
      case Outcome::NotAFolder:
        throw refused("would put " + where + " below /" + shown(r.place) +
                      ", which is not a folder");
      case Outcome::Loop:
        throw refused("would put " + where + " through a loop of links at /" + shown(r.place));
      case Outcome::Missing:
        throw refused("would put " + where + " through \"..\" of /" + shown(r.place) +
                      ", which does not exist");
      case Outcome::TooLong:
        throw refused("would put " + where + " through /" + shown(r.place) +
                      ", a path longer than the device's file system takes");
    }
  }

  void checkDeviceOwned(const PackageFile& f, const std::string& place) const {
    DeviceOwned owned = deviceOwned(place);
    if (owned == DeviceOwned::Record ||
        (owned == DeviceOwned::Folder && f.kind != PackageFile::Kind::Directory))
      throw refused("may not write /" + shown(place) + " (for \"" + shown(f.path) +
                    "\"): the device keeps it for itself");
  }

  // A file or link: its place must be free for it.
  void checkFileSpot(const PackageFile& f, const std::string& place) const {
    if (resolver_.entryAt(place).kind == Kind::Folder)
      throw refused("has a file " + shown(f.path) + " where the device has a folder");
    if (resolver_.planned(place)) throw refused("has two members that land on /" + shown(place));
    if (auto other = db_.owner("/" + place, package_.name()))
      throw refused("would overwrite /" + shown(place) + " of the package " + *other);
    for (auto suffix : {kStagingSuffix, kAsideSuffix}) {
      std::string leftover = place + std::string(suffix);
      if (tree_.look(leftover).kind != Kind::Missing)
        throw refused("cannot be installed while the device holds /" + shown(leftover) +
                      ", left by an interrupted install: remove it first");
    }
  }

  void checkLinkTarget(const PackageFile& f, const std::string& place) const {
    auto r = resolver_.resolve(parentOf(place), f.target, true);
    if (r.outcome == Outcome::Outside)
      throw refused("has a link " + shown(f.path) + " -> " + shown(f.target) +
                    " that leads outside the device root");
  }

  // Plans the missing folders above `place` (and `place` itself for a folder).
  void planFolders(const PackageFile& f, const std::string& place, bool itself) {
    std::string folder;
    std::size_t at = 0;
    for (;;) {
      auto slash = place.find('/', at);
      if (slash == std::string::npos && !itself) return;
      folder = place.substr(0, slash);
      if (resolver_.entryAt(folder).kind == Kind::Missing) {
        if (deviceOwned(folder) == DeviceOwned::Record)
          throw refused("may not make the folder /" + shown(folder) + " (for \"" + shown(f.path) +
                        "\"): the device keeps that name for itself");
        resolver_.plan(folder, {Kind::Folder, ""});
        plan_.folders.push_back(folder);
      }
      if (slash == std::string::npos) return;
      at = slash + 1;
    }
  }

  void record(const std::string& place) {
    std::size_t at = 0;
    for (;;) {
      auto slash = place.find('/', at);
      std::string path = "/" + place.substr(0, slash);
      if (listed_.insert(path).second) plan_.list.push_back(path);
      if (slash == std::string::npos) return;
      at = slash + 1;
    }
  }

  void place(const PackageFile& f) {
    checkLimits(f, f.path);
    bool folder = f.kind == PackageFile::Kind::Directory;
    std::string place;
    if (folder) {
      auto r = resolver_.resolve("", f.path, true);
      checkResolution(f, r);
      place = r.place;
    } else {
      auto r = resolver_.resolve("", f.path, false);
      checkResolution(f, r);
      place = r.place;
    }
    if (place.empty()) return;  // the root itself
    checkLimits(f, place);
    checkDeviceOwned(f, place);
    if (folder) {
      Kind kind = resolver_.entryAt(place).kind;
      if (kind != Kind::Folder && kind != Kind::Missing)
        throw refused("has a folder " + shown(f.path) + " where the device has a file");
      planFolders(f, place, true);
    } else {
      checkFileSpot(f, place);
      if (f.kind == PackageFile::Kind::Symlink) checkLinkTarget(f, place);
      planFolders(f, place, false);
      resolver_.plan(place, f.kind == PackageFile::Kind::Symlink
                                ? DeviceTree::Entry{Kind::Link, f.target}
                                : DeviceTree::Entry{Kind::File, ""});
      plan_.members.push_back({&f, place});
    }
    record(place);
  }

  const DeviceTree& tree_;
  const DebPackage& package_;
  const PackageDatabase& db_;
  PathResolver resolver_;
  InstallPlan plan_;
  std::set<std::string> listed_;
};

}  // namespace

InstallPlan planInstall(const DeviceTree& tree, const DebPackage& package,
                        const PackageDatabase& db) {
  return Planner(tree, package, db).run();
}

}  // namespace pxviber::packages
