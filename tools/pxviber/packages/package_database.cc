#include "tools/pxviber/packages/package_database.h"

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/device_records.h"

namespace pxviber::packages {

using platform::Error;

namespace {

std::string statusFile() { return std::string(kDatabaseFolder) + "/status"; }

}  // namespace

void lockDatabase(DeviceTree& tree) {
  std::string folder;
  for (std::string_view rest = kDatabaseFolder; !rest.empty();) {
    auto slash = rest.find('/');
    folder += (folder.empty() ? "" : "/") + std::string(rest.substr(0, slash));
    rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    tree.makeFolder(folder);
  }
  if (!tree.tryLock(folder + "/lock"))
    throw Error("another install or remove is working on the device at " +
                tree.hostPath("").string());
}

std::string PackageDatabase::listFile(const std::string& name) const {
  return std::string(kDatabaseFolder) + "/info/" + name + ".list";
}

std::string PackageDatabase::readText(const std::string& place) const {
  auto bytes = tree_.read(place);
  if (!bytes) {
    if (tree_.look(place).kind == DeviceTree::Entry::Kind::Missing) return "";
    throw Error("cannot read " + tree_.hostPath(place).string() + ": it is not a file");
  }
  return std::string(bytes->begin(), bytes->end());
}

void PackageDatabase::writeText(const std::string& place, const std::string& text) const {
  auto data = reinterpret_cast<const std::uint8_t*>(text.data());
  tree_.writeFile(place, std::span(data, text.size()), 0644);
}

std::vector<ControlFields> PackageDatabase::installed() const {
  try {
    return parseStanzas(readText(statusFile()));
  } catch (const Error& e) {
    throw Error("the package database " + tree_.hostPath(statusFile()).string() +
                " is damaged: " + e.what());
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
  std::string list;
  for (auto& f : files) list += f + "\n";
  tree_.makeFolder(std::string(kDatabaseFolder) + "/info");
  std::optional<platform::foundation::Bytes> before = tree_.read(listFile(name));
  writeText(listFile(name), list);
  try {
    writeStatus(stanzas);
  } catch (const Error&) {
    try {
      if (before)
        writeText(listFile(name), std::string(before->begin(), before->end()));
      else
        tree_.remove(listFile(name));
    } catch (const Error&) {
      // The status still names what it named; a list left over is harmless.
    }
    throw;
  }
}

void PackageDatabase::forget(const std::string& name) {
  auto stanzas = installed();
  std::erase_if(stanzas, [&](const ControlFields& s) { return fieldOf(s, "Package") == name; });
  writeStatus(stanzas);
  tree_.remove(listFile(name));
}

}  // namespace pxviber::packages
