// A device's files, reached only from its root: the one way in which the
// package manager reads and changes a device.
//
// Every path is relative to the root and plain: names joined by "/", none
// empty, none "." or "..". A call walks its path name by name from the root,
// and every folder on the way must be a real folder: a link (whatever it
// points at), a file or anything else on the way makes the call fail, and the
// last name is never followed. So no call reaches past the root, whatever
// links the device holds; the package manager follows links itself, beneath
// the root (install_plan.h), and hands this tree the plain paths it found.
//
// Failures throw platform::Error naming the host path and the reason. One
// thread at a time.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/foundation/file_io.h"

namespace pxviber::packages {

class DeviceTree {
 public:
  struct Entry {
    enum class Kind { Missing, Folder, File, Link, Other };
    Kind kind = Kind::Missing;
    std::string target;  // a link's target
  };

  virtual ~DeviceTree() = default;
  DeviceTree() = default;
  DeviceTree(const DeviceTree&) = delete;
  DeviceTree& operator=(const DeviceTree&) = delete;

  // What is at `path`; Missing also when a folder on the way is missing.
  virtual Entry look(const std::string& path) const = 0;
  // Whether `path` is a folder that holds nothing.
  virtual bool isEmptyFolder(const std::string& path) const = 0;
  // The bytes of the regular file at `path`; nullopt when there is none.
  virtual std::optional<platform::foundation::Bytes> read(const std::string& path) const = 0;

  // Makes the folder `path` (mode 0755) in its existing parent; a folder
  // already there is left as it is.
  virtual void makeFolder(const std::string& path) = 0;
  // Replaces `path` atomically with a file of `bytes` and permission bits
  // `mode`: written beside it under a temporary name, flushed, renamed.
  virtual void writeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         unsigned mode) = 0;
  // Makes a link at `path` (where nothing is) that points at `target`.
  virtual void makeLink(const std::string& path, const std::string& target) = 0;
  // Renames `from` to `to`, replacing a file or link at `to`.
  virtual void rename(const std::string& from, const std::string& to) = 0;
  // Removes the file or link at `path`; nothing there is no failure.
  virtual void remove(const std::string& path) = 0;
  // Removes the empty folder at `path`.
  virtual void removeFolder(const std::string& path) = 0;

  // Takes an exclusive lock on the file at `path` (made when missing), held
  // until the tree is destroyed; false when another process (or another
  // tree) holds it. Taking a lock this tree holds already is a no-op.
  virtual bool tryLock(const std::string& path) = 0;

  // The longest name the device's file system takes, and the longest host
  // path (root included) that the system's calls take.
  virtual std::size_t nameLimit() const = 0;
  virtual std::size_t pathLimit() const = 0;
  // The host path of `path`, for messages.
  virtual std::filesystem::path hostPath(const std::string& path) const = 0;
};

// The tree of the device at `root` (a folder, which may itself be reached
// through links). Throws platform::Error when it cannot be opened.
std::unique_ptr<DeviceTree> openDeviceTree(const std::filesystem::path& root);

// Whether `path` is plain: non-empty names joined by "/", none "." or "..".
bool isPlainPath(std::string_view path);

}  // namespace pxviber::packages
