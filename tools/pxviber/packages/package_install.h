// Installing and removing packages on a device, as the phone's package manager
// does: the package's files go under the device root, and the package database
// (package_database.h) remembers them so that removing takes them all away.
//
// An install is all or nothing. The whole package is read and checked first
// (deb_archive.h), then the device: the package's architecture must be the
// device's (or "all"), its dependencies installed, and each member is placed
// through the device's links and the package's own, beneath the root, where
// it may not leave the root, write the device's own records, replace a
// folder, or take over another package's file (install_plan.h). Only then is
// anything written, and only at the places found, through real folders
// (device_tree.h): each file beside its place first ("<file>.dpkg-new"), then
// all moved into place, then the database; a failure on the way undoes what
// was done, so that a refused install leaves the device as it was. Installing
// a package that is already installed replaces it, and removes the files that
// the new version no longer has.
//
// Errors throw platform::Error with a message for the user.
#pragma once

#include <filesystem>
#include <string>

#include "tools/pxviber/packages/device_tree.h"

namespace pxviber::packages {

struct InstallReport {
  std::string name, version, architecture;
  std::size_t files = 0;  // files and links, folders not counted
  bool replaced = false;  // an earlier version was installed
};

InstallReport installPackage(const std::filesystem::path& root, const std::filesystem::path& deb);
// The same on an open tree (held until it goes: the database's lock with it).
InstallReport installPackage(DeviceTree& tree, const std::filesystem::path& deb);

struct RemoveReport {
  std::string name;
  std::size_t files = 0;
};

// Removes an installed package's files and the folders it made that are left
// empty (owned_paths.h), then its record. Refuses a package that another
// installed one needs.
RemoveReport removePackage(const std::filesystem::path& root, const std::string& name);

// Records the device's own platform pieces as installed packages that hold no
// files of their own but own the folders they provide: "firmware" (version
// "<iosVersion>.0"), "mobilesubstrate" (the tweak folder), "preferenceloader"
// (the settings-pane folders), "applist" and "couria".
void registerPlatformPackages(const std::filesystem::path& root, int iosVersion,
                              const std::string& architecture);

}  // namespace pxviber::packages
