// Devices for the package tests and the installer's fuzz target, and the
// snapshots that show whether anything was written.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pxviber::packages::testing {

// Makes a device at `root` (an absent or empty folder whose parent exists) as
// `pxviber device create` lays it out, without Viber: the settings, "/var"
// linked to "/private/var", the layout folders and the platform packages.
void makeScratchDevice(const std::filesystem::path& root);

// Every path under `folder` but those under `skip`, one a line, in order:
// the path, its kind, permission bits, and a link's target or a checksum of
// a file's bytes. Two equal snapshots mean that nothing there was written.
std::string treeSnapshot(const std::filesystem::path& folder,
                         const std::vector<std::filesystem::path>& skip = {});

}  // namespace pxviber::packages::testing
