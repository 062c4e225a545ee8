#include "tools/pxviber/packages/package_database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"

namespace pxviber::packages {

namespace fs = std::filesystem;
using platform::Error;

namespace {

fs::path databaseFolder(const fs::path& root) {
  return platform::foundation::hostPathIn(root, kDatabaseDevicePath);
}

std::string readText(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return "";
  auto bytes = platform::foundation::readFile(path);
  if (!bytes) throw Error("cannot read " + path.string());
  return std::string(bytes->begin(), bytes->end());
}

void writeText(const fs::path& path, const std::string& text) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  auto data = reinterpret_cast<const std::uint8_t*>(text.data());
  if (!platform::foundation::writeFileAtomically(path, std::span(data, text.size())))
    throw Error("cannot write " + path.string());
}

}  // namespace

DatabaseLock::DatabaseLock(const fs::path& root) {
  fs::path folder = databaseFolder(root);
  std::error_code ec;
  fs::create_directories(folder, ec);
  fd_ = ::open((folder / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw platform::SystemError("cannot open the package database's lock", errno);
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    throw Error("another install or remove is working on the device at " + root.string());
  }
}

DatabaseLock::~DatabaseLock() { ::close(fd_); }

PackageDatabase::PackageDatabase(fs::path root) : root_(std::move(root)) {}

fs::path PackageDatabase::statusFile() const { return databaseFolder(root_) / "status"; }

fs::path PackageDatabase::listFile(const std::string& name) const {
  return databaseFolder(root_) / "info" / (name + ".list");
}

std::vector<ControlFields> PackageDatabase::installed() const {
  try {
    return parseStanzas(readText(statusFile()));
  } catch (const Error& e) {
    throw Error("the package database " + statusFile().string() + " is damaged: " + e.what());
  }
}

std::optional<ControlFields> PackageDatabase::find(const std::string& name) const {
  for (auto& stanza : installed()) {
    if (fieldOf(stanza, "Package") == name) return stanza;
  }
  return std::nullopt;
}

std::vector<std::string> PackageDatabase::files(const std::string& name) const {
  std::vector<std::string> out;
  std::string text = readText(listFile(name));
  for (std::size_t at = 0; at < text.size();) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

std::optional<std::string> PackageDatabase::owner(const std::string& devicePath,
                                                  const std::string& except) const {
  for (auto& stanza : installed()) {
    std::string name = fieldOf(stanza, "Package").value_or("");
    if (name == except) continue;
    for (auto& f : files(name)) {
      if (f == devicePath) return name;
    }
  }
  return std::nullopt;
}

void PackageDatabase::writeStatus(const std::vector<ControlFields>& stanzas) const {
  std::string text;
  for (auto& s : stanzas) text += (text.empty() ? "" : "\n") + formatStanza(s);
  writeText(statusFile(), text);
}

void PackageDatabase::record(const ControlFields& control, const std::vector<std::string>& files) {
  std::string name = fieldOf(control, "Package").value_or("");
  std::string list;
  for (auto& f : files) list += f + "\n";
  writeText(listFile(name), list);
  auto stanzas = installed();
  ControlFields entry = control;
  setField(entry, "Status", "install ok installed");
  bool replaced = false;
  for (auto& s : stanzas) {
    if (fieldOf(s, "Package") == name) {
      s = entry;
      replaced = true;
    }
  }
  if (!replaced) stanzas.push_back(entry);
  writeStatus(stanzas);
}

void PackageDatabase::forget(const std::string& name) {
  auto stanzas = installed();
  std::erase_if(stanzas, [&](const ControlFields& s) { return fieldOf(s, "Package") == name; });
  writeStatus(stanzas);
  std::error_code ec;
  fs::remove(listFile(name), ec);
}

}  // namespace pxviber::packages
