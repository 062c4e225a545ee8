// What a device owns itself, which no package may write or replace: its
// settings ("/device.plist"), the "/var" link, its package database
// ("/private/var/lib/dpkg"), its run-time folder ("/private/var/run": pid
// files, the bus socket, host requests) and the folders of its layout.
//
// Places are plain paths relative to the root (device_tree.h), as the
// package manager finds them once every link is followed.
#pragma once

#include <array>
#include <string_view>

namespace pxviber::packages {

// The folders that every device has from `pxviber device create` on.
inline constexpr std::array<const char*, 7> kLayoutFolders = {
    "private/var/mobile/Library/Preferences",
    "private/var/log",
    "private/var/run",
    "Applications",
    "Library/PreferenceLoader/Preferences",
    "Library/PreferenceBundles",
    "Library/MobileSubstrate/DynamicLibraries",
};

// The device's settings, and its "/var", a link to "private/var" as on the phone.
inline constexpr const char* kSettingsFile = "device.plist";
inline constexpr const char* kVarLink = "var";
inline constexpr const char* kVarLinkTarget = "private/var";

// The package database's folder.
inline constexpr const char* kDatabaseFolder = "private/var/lib/dpkg";

enum class DeviceOwned {
  No,
  // A layout folder, the database's folder or a folder above one of them: a
  // package may name it as a folder, and put its own files in it, but never
  // replace it nor remove it.
  Folder,
  // The settings, the "/var" link, and everything in the database's and the
  // run-time folder: nothing of a package may land there.
  Record,
};

DeviceOwned deviceOwned(std::string_view place);

}  // namespace pxviber::packages
