#include "tools/pxviber/packages/testing/scratch_device.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "tools/pxviber/packages/device_records.h"
#include "tools/pxviber/packages/package_install.h"

namespace pxviber::packages::testing {

namespace fs = std::filesystem;

void makeScratchDevice(const fs::path& root) {
  for (const char* folder : kLayoutFolders) fs::create_directories(root / folder);
  fs::create_symlink(kVarLinkTarget, root / kVarLink);
  platform::foundation::DeviceSettings settings;
  if (!platform::foundation::writeDictionaryFileAtomically(root / kSettingsFile,
                                                           settings.toDictionary()))
    throw platform::Error("cannot write the settings of the scratch device at " + root.string());
  registerPlatformPackages(root, 9, settings.architecture);
}

namespace {

// FNV-1a, 64 bits: enough to tell changed bytes from unchanged ones.
std::string checksum(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::uint64_t h = 14695981039346656037ull;
  for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
    h ^= static_cast<unsigned char>(*it);
    h *= 1099511628211ull;
  }
  std::ostringstream out;
  out << std::hex << h;
  return out.str();
}

}  // namespace

std::map<std::string, std::string> treeEntries(const fs::path& folder,
                                               const std::vector<fs::path>& skip) {
  std::map<std::string, std::string> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::end(it);
       it.increment(ec)) {
    const fs::path& p = it->path();
    if (std::find(skip.begin(), skip.end(), p) != skip.end()) {
      it.disable_recursion_pending();
      continue;
    }
    auto status = it->symlink_status();
    std::ostringstream what;
    what << std::oct << static_cast<unsigned>(status.permissions() & fs::perms::mask) << " ";
    if (fs::is_symlink(status))
      what << "link -> " << fs::read_symlink(p, ec).string();
    else if (fs::is_directory(status))
      what << "folder";
    else if (fs::is_regular_file(status))
      what << "file " << checksum(p);
    else
      what << "other";
    entries[p.lexically_relative(folder).string()] = what.str();
  }
  return entries;
}

std::string treeSnapshot(const fs::path& folder, const std::vector<fs::path>& skip) {
  std::string out;
  for (auto& [path, what] : treeEntries(folder, skip)) out += path + " " + what + "\n";
  return out;
}

}  // namespace pxviber::packages::testing
