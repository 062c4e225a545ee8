// A device's package database, where the phone's package manager keeps it:
// "/var/lib/dpkg/status" holds one stanza per installed package (its control
// fields and "Status: install ok installed"), and "/var/lib/dpkg/info/<name>.list"
// the device paths it installed, one a line, folders included.
//
// Writers hold the database's lock ("/var/lib/dpkg/lock") through a
// DatabaseLock for their whole read-modify-write; every file is replaced
// atomically. Errors throw platform::Error.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/pxviber/packages/control_fields.h"

namespace pxviber::packages {

inline constexpr const char* kDatabaseDevicePath = "/var/lib/dpkg";

// The database's lock, held from construction to destruction. Throws when
// another process holds it.
class DatabaseLock {
 public:
  explicit DatabaseLock(const std::filesystem::path& root);
  ~DatabaseLock();
  DatabaseLock(const DatabaseLock&) = delete;
  DatabaseLock& operator=(const DatabaseLock&) = delete;

 private:
  int fd_ = -1;
};

class PackageDatabase {
 public:
  // The database of the device at `root`; an absent one is empty.
  explicit PackageDatabase(std::filesystem::path root);

  // The installed packages' stanzas, in the file's order.
  std::vector<ControlFields> installed() const;
  std::optional<ControlFields> find(const std::string& name) const;
  // The device paths recorded for `name`; empty when it has no list.
  std::vector<std::string> files(const std::string& name) const;
  // The package other than `except` that lists `devicePath`, if any.
  std::optional<std::string> owner(const std::string& devicePath, const std::string& except) const;

  // Records `control` as installed with `files` (replacing an earlier record of
  // the same package): the list first, then the status.
  void record(const ControlFields& control, const std::vector<std::string>& files);
  // Forgets `name`: the status stanza, then the list.
  void forget(const std::string& name);

 private:
  std::filesystem::path statusFile() const;
  std::filesystem::path listFile(const std::string& name) const;
  void writeStatus(const std::vector<ControlFields>& stanzas) const;

  std::filesystem::path root_;
};

}  // namespace pxviber::packages
