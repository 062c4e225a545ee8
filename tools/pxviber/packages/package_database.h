// A device's package database, where the phone's package manager keeps it:
// "/var/lib/dpkg/status" holds one stanza per installed package (its control
// fields and "Status: install ok installed"), and "/var/lib/dpkg/info/<name>.list"
// the device paths it installed, one a line, folders included, each where it
// lies once the device's links are followed.
//
// The database is reached at its real place, "/private/var/lib/dpkg", through
// real folders only (device_tree.h), never through the "/var" link: a device
// whose links were changed cannot lead its records elsewhere.
//
// Writers hold the database's lock ("lock" in its folder) through a
// DatabaseLock for their whole read-modify-write; every file is replaced
// atomically. Errors throw platform::Error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/pxviber/packages/control_fields.h"
#include "tools/pxviber/packages/device_tree.h"

namespace pxviber::packages {

// The database's lock, held for as long as `tree` lives. Throws when another
// process holds it. Makes the database's folder when the device has none.
void lockDatabase(DeviceTree& tree);

class PackageDatabase {
 public:
  // The database of the device; an absent one is empty.
  explicit PackageDatabase(DeviceTree& tree) : tree_(tree) {}

  // The installed packages' stanzas, in the file's order.
  std::vector<ControlFields> installed() const;
  std::optional<ControlFields> find(const std::string& name) const;
  // The device paths recorded for `name`; empty when it has no list.
  std::vector<std::string> files(const std::string& name) const;
  // The package other than `except` that lists `devicePath`, if any.
  std::optional<std::string> owner(const std::string& devicePath, const std::string& except) const;

  // Records `control` as installed with `files` (replacing an earlier record of
  // the same package): the list first, then the status; when the status
  // cannot be written, the list is put back as it was.
  void record(const ControlFields& control, const std::vector<std::string>& files);
  // Forgets `name`: the status stanza, then the list.
  void forget(const std::string& name);

 private:
  std::string listFile(const std::string& name) const;
  void writeStatus(const std::vector<ControlFields>& stanzas) const;
  std::string readText(const std::string& place) const;
  void writeText(const std::string& place, const std::string& text) const;

  DeviceTree& tree_;
};

}  // namespace pxviber::packages
