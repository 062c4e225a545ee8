// Devices for the package tests and the installer's fuzz target, and the
// snapshots that show whether anything was written.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pxviber::packages::testing {

// Makes a device at `root` (an absent or empty folder whose parent exists) as
// `pxviber device create` lays it out, without Viber: the settings, "/var"
// linked to "/private/var", the layout folders and the platform packages.
void makeScratchDevice(const std::filesystem::path& root);

// Every path under `folder` but those under `skip`, relative to `folder`,
// with what is there: its kind, permission bits, and a link's target or a
// checksum of a file's bytes.
std::map<std::string, std::string> treeEntries(const std::filesystem::path& folder,
                                               const std::vector<std::filesystem::path>& skip = {});

// The same as text, a path a line, in order: two equal snapshots mean that
// nothing there was written.
std::string treeSnapshot(const std::filesystem::path& folder,
                         const std::vector<std::filesystem::path>& skip = {});

}  // namespace pxviber::packages::testing
