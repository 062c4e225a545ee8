// Where a path leads on a device, found as the system follows it, but never
// past the root: name by name, through the device's links and through those
// that a package being planned will add.
//
// A path that climbs above the root with "..", or meets a link whose target
// is absolute (which the device's processes would follow out of the device),
// leads outside. Below a name that does not exist yet nothing exists either;
// such names are kept as they are, as the folders a package will make.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "tools/pxviber/packages/device_tree.h"

namespace pxviber::packages {

class PathResolver {
 public:
  explicit PathResolver(const DeviceTree& tree) : tree_(tree) {}

  // Sees `entry` at the plain path `place` from now on, over what the device
  // has there: what a package will put in place.
  void plan(const std::string& place, DeviceTree::Entry entry);
  // The planned entry at `place`, else the device's.
  DeviceTree::Entry entryAt(const std::string& place) const;
  // Whether `place` was planned.
  bool planned(const std::string& place) const { return planned_.count(place) > 0; }

  struct Result {
    enum class Outcome {
      Inside,      // `place` is where the path leads
      Outside,     // it leads out of the root
      NotAFolder,  // it goes on below `place`, which is no folder
      Loop,        // links lead to links more than the system follows
      Missing,     // it climbs ("..") out of `place`, which does not exist
      TooLong,     // it leads through `place`, a path longer than the system takes
    };
    Outcome outcome = Outcome::Inside;
    std::string place;  // plain ("" for the root)
  };

  // Follows `path` (relative: names, "." and "..") from the plain path
  // `from` ("" for the root). The last name is followed when it is a link and
  // `followLast`.
  Result resolve(std::string_view from, std::string_view path, bool followLast) const;

 private:
  const DeviceTree& tree_;
  std::map<std::string, DeviceTree::Entry> planned_;
};

}  // namespace pxviber::packages
