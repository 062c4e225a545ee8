// Taking a package's paths off a device.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/pxviber/packages/package_database.h"

namespace pxviber::packages {

// Removes those of `paths` (device paths of the package `name`) that no other
// package lists: files and links first, then the folders left empty, deepest
// first. Answers how many files and links were removed. Never throws for a
// path already gone.
std::size_t removeOwnedPaths(const std::filesystem::path& root,
                             const std::vector<std::string>& paths, const PackageDatabase& db,
                             const std::string& name);

}  // namespace pxviber::packages
