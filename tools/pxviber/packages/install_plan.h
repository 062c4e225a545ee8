// Where each member of a package lands on a device, found before anything is
// written (path_resolver.h): members are placed in the package's order, each
// through the device's links and through the links of the members before it,
// as they will be once those are in place. The last name of a file or link
// member is not followed (a file replaces a link; a link replaces a link),
// that of a folder member is (a folder named where the device has a link to
// a folder is that folder).
//
// A package is refused, with a message for the user, when a member would:
// land outside the root, or below something that is no folder; be a link
// whose target leads outside the root; write or replace the device's own
// records (device_records.h); replace a folder with a file or a link, or a
// file with a folder; land where an earlier member lands; take over a file of
// another installed package; have a name or a path longer than the device's
// file system takes (with room for the staging suffix); or when the device
// holds a file left by an interrupted install at a member's staging name.
#pragma once

#include <string>
#include <vector>

#include "tools/pxviber/packages/deb_archive.h"
#include "tools/pxviber/packages/device_tree.h"
#include "tools/pxviber/packages/package_database.h"

namespace pxviber::packages {

struct PlannedMember {
  const PackageFile* file;
  std::string place;  // plain path (device_tree.h)
};

struct InstallPlan {
  std::vector<std::string> folders;    // folders to make, each after its parent
  std::vector<PlannedMember> members;  // files and links, in the package's order
  std::vector<std::string> list;       // the device paths to record: "/" + each place
                                       // and each folder above it, in order
};

// Throws platform::Error saying which member is refused and why.
InstallPlan planInstall(const DeviceTree& tree, const DebPackage& package,
                        const PackageDatabase& db);

}  // namespace pxviber::packages
