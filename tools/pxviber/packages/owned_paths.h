// Taking a package's paths off a device.
#pragma once

#include <string>
#include <vector>

#include "tools/pxviber/packages/device_tree.h"
#include "tools/pxviber/packages/package_database.h"

namespace pxviber::packages {

// Removes those of `paths` (device paths listed for the package `name`) that
// no other package lists and the device does not keep for itself
// (device_records.h). Each is found as the installer placed it: through the
// device's links, beneath the root, its last name not followed. A path that
// holds others of the list is a folder, and goes only when it is a real
// folder left empty; the others are files and links, removed first, then the
// folders left empty, deepest first. A link is never removed as a folder, and
// a line that is no absolute plain path is passed over. Answers how many
// files and links were removed. A path already gone is no failure.
std::size_t removeOwnedPaths(DeviceTree& tree, const std::vector<std::string>& paths,
                             const PackageDatabase& db, const std::string& name);

}  // namespace pxviber::packages
