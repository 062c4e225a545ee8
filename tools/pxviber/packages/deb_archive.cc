#include "tools/pxviber/packages/deb_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <set>

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/file_transaction.h"

namespace pxviber::packages {

namespace {

using platform::Error;
using platform::foundation::Bytes;
using Archive = std::unique_ptr<archive, decltype(&archive_read_free)>;

constexpr std::string_view kArMagic = "!<arch>\n";

Error damaged(const std::string& what, const std::string& why) {
  return Error("damaged package " + what + ": " + why);
}

std::string reason(archive* a) {
  const char* why = archive_error_string(a);
  return why ? why : "unreadable";
}

// Opens `bytes` as an archive of the given kind ("ar", or a tar with any
// compression).
Archive openArchive(const Bytes& bytes, bool ar, const std::string& what) {
  Archive a(archive_read_new(), archive_read_free);
  if (ar) {
    archive_read_support_format_ar(a.get());
  } else {
    archive_read_support_filter_all(a.get());
    archive_read_support_format_tar(a.get());
  }
  if (archive_read_open_memory(a.get(), bytes.data(), bytes.size()) != ARCHIVE_OK)
    throw damaged(what, reason(a.get()));
  return a;
}

// The content of the current entry.
Bytes entryContent(archive* a, archive_entry* entry, const std::string& what) {
  la_int64_t size = archive_entry_size(entry);
  if (size < 0 || static_cast<std::uintmax_t>(size) > kMaxPackageBytes)
    throw damaged(what, "a member is too large");
  Bytes content(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < content.size()) {
    la_ssize_t n = archive_read_data(a, content.data() + done, content.size() - done);
    if (n <= 0) throw damaged(what, n < 0 ? reason(a) : "a member ends early");
    done += static_cast<std::size_t>(n);
  }
  return content;
}

// Calls each(entry, archive) for every entry, then checks that the archive
// ended cleanly.
template <typename Each>
void forEachEntry(archive* a, const std::string& what, Each each) {
  archive_entry* entry = nullptr;
  int r = ARCHIVE_OK;
  while ((r = archive_read_next_header(a, &entry)) == ARCHIVE_OK) each(entry);
  if (r != ARCHIVE_EOF) throw damaged(what, reason(a));
}

Error outside(const std::string& what, std::string_view raw) {
  return Error("the package " + what + " would put \"" + std::string(raw) +
               "\" outside the device root");
}

// A name as a message shows it: control characters as "\n" or "\xHH".
std::string shown(std::string_view raw) {
  std::string out;
  for (unsigned char c : raw.substr(0, 200)) {
    static const char* hex = "0123456789abcdef";
    if (c == '\n')
      out += "\\n";
    else if (c < 0x20 || c == 0x7f)
      out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
    else
      out += static_cast<char>(c);
  }
  return raw.size() > 200 ? out + "..." : out;
}

// A name with a newline would be two lines of the package's list, and any
// other control character has no place in a path either.
void checkCharacters(std::string_view raw, const std::string& what, const char* which) {
  for (unsigned char c : raw) {
    if (c < 0x20 || c == 0x7f)
      throw Error("the package " + what + " has a " + which + " with a control character: \"" +
                  shown(raw) + "\"");
  }
}

// "./Library/x/" → "Library/x"; the root itself → "". Throws for a path that
// is absolute or climbs with "..", holds a control character, or ends in a
// name that the install keeps for staging.
std::string normalisedPath(std::string_view raw, const std::string& what) {
  checkCharacters(raw, what, "member name");
  if (raw.empty() || raw.front() == '/') throw outside(what, raw);
  std::string out;
  std::string_view rest = raw;
  while (!rest.empty()) {
    auto slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") throw outside(what, raw);
    out += (out.empty() ? "" : "/") + std::string(part);
  }
  for (std::string_view suffix : {kStagingSuffix, kAsideSuffix}) {
    if (out.ends_with(suffix))
      throw Error("the package " + what + " has a member \"" + shown(raw) +
                  "\" whose name ends in " + std::string(suffix) +
                  ", which the install keeps for its own files");
  }
  return out;
}

// A link must point inside the root: a relative target that climbs no higher
// than the root, seen from the link's folder. It climbs ("..") only at its
// start: then where it leads depends only on the folder that holds it and
// on links that stay inside themselves, never on which links are added
// later below the names it passes.
void checkLinkTarget(const std::string& path, const std::string& target, const std::string& what) {
  checkCharacters(target, what, "link target");
  if (target.empty() || target.front() == '/') throw outside(what, path + " -> " + target);
  bool descended = false;
  long depth = static_cast<long>(std::count(path.begin(), path.end(), '/'));
  std::string_view rest = target;
  while (!rest.empty()) {
    auto slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    if (part == ".." && descended)
      throw Error("the package " + what + " has a link " + shown(path) + " -> " + shown(target) +
                  " that climbs (\"..\") after it descends");
    if (part == "..") {
      --depth;
    } else if (!part.empty() && part != ".") {
      ++depth;
      descended = true;
    }
    if (depth < 0) throw outside(what, path + " -> " + target);
  }
}

PackageFile dataEntry(archive* a, archive_entry* entry, const std::string& what) {
  const char* name = archive_entry_pathname(entry);
  PackageFile file;
  file.path = normalisedPath(name ? name : "", what);
  file.mode = archive_entry_perm(entry) & 0777;
  if (archive_entry_hardlink(entry))
    throw Error("the package " + what + " holds a hard link, " + file.path);
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
      file.content = entryContent(a, entry, what);
      break;
    case AE_IFDIR:
      file.kind = PackageFile::Kind::Directory;
      break;
    case AE_IFLNK:
      file.kind = PackageFile::Kind::Symlink;
      file.target = archive_entry_symlink(entry) ? archive_entry_symlink(entry) : "";
      checkLinkTarget(file.path, file.target, what);
      break;
    default:
      throw Error("the package " + what + " holds a device file or pipe, " + file.path);
  }
  return file;
}

std::vector<PackageFile> readData(const Bytes& tar, const std::string& what) {
  Archive a = openArchive(tar, false, what);
  std::vector<PackageFile> files;
  std::set<std::string> seen;
  forEachEntry(a.get(), what, [&](archive_entry* entry) {
    PackageFile file = dataEntry(a.get(), entry, what);
    if (file.path.empty()) return;
    // A path given twice would be staged twice and could not be undone.
    if (!seen.insert(file.path).second) throw damaged(what, "it lists " + file.path + " twice");
    files.push_back(std::move(file));
  });
  return files;
}

ControlFields readControl(const Bytes& tar, const std::string& what) {
  Archive a = openArchive(tar, false, what);
  std::optional<ControlFields> control;
  forEachEntry(a.get(), what, [&](archive_entry* entry) {
    std::string name = normalisedPath(archive_entry_pathname(entry), what);
    for (const char* script : {"preinst", "postinst", "prerm", "postrm", "config"}) {
      if (name == script)
        throw Error("the package " + what + " has a " + name +
                    " script, which a device does not run");
    }
    if (name != "control") return;
    Bytes text = entryContent(a.get(), entry, what);
    auto stanzas = parseStanzas(std::string(text.begin(), text.end()));
    if (stanzas.size() != 1) throw damaged(what, "its control file holds no single stanza");
    control = std::move(stanzas[0]);
  });
  if (!control) throw damaged(what, "it has no control file");
  return *control;
}

bool validName(const std::string& name) {
  if (name.size() < 2 || !std::isalnum(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name) {
    if (!(std::islower(static_cast<unsigned char>(c)) ||
          std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'))
      return false;
  }
  return true;
}

void checkControl(const ControlFields& control, const std::string& what) {
  for (const char* field : {"Package", "Version", "Architecture"}) {
    auto value = fieldOf(control, field);
    if (!value || value->empty() || value->find_first_of(" \t\n") != std::string::npos)
      throw damaged(what, std::string("its control file has no usable ") + field + " field");
  }
  if (!validName(*fieldOf(control, "Package")))
    throw damaged(what, "its Package field is no package name");
}

}  // namespace

std::string DebPackage::name() const { return fieldOf(control, "Package").value_or(""); }
std::string DebPackage::version() const { return fieldOf(control, "Version").value_or(""); }
std::string DebPackage::architecture() const {
  return fieldOf(control, "Architecture").value_or("");
}

DebPackage parseDebPackage(const Bytes& bytes, const std::string& what) {
  if (bytes.size() < kArMagic.size() ||
      std::string_view(reinterpret_cast<const char*>(bytes.data()), kArMagic.size()) != kArMagic)
    throw Error(what + " is not a Debian package");
  Archive a = openArchive(bytes, true, what);
  std::optional<Bytes> format, control, data;
  forEachEntry(a.get(), what, [&](archive_entry* entry) {
    std::string name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
    if (!format && name != "debian-binary") throw Error(what + " is not a Debian package");
    if (name == "debian-binary")
      format = entryContent(a.get(), entry, what);
    else if (name.rfind("control.tar", 0) == 0 && !control)
      control = entryContent(a.get(), entry, what);
    else if (name.rfind("data.tar", 0) == 0 && !data)
      data = entryContent(a.get(), entry, what);
  });
  if (!format || format->size() < 2 || (*format)[0] != '2' || (*format)[1] != '.')
    throw Error(what + " is not a Debian package of format 2.0");
  if (!control || !data) throw damaged(what, "it lacks its control or data member");
  DebPackage package{readControl(*control, what), readData(*data, what)};
  checkControl(package.control, what);
  return package;
}

DebPackage readDebPackage(const std::filesystem::path& path) {
  auto bytes = platform::foundation::readFile(path, kMaxPackageBytes);
  if (!bytes) throw Error("cannot read the package " + path.string());
  return parseDebPackage(*bytes, path.string());
}

}  // namespace pxviber::packages
