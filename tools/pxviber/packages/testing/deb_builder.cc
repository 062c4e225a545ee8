#include "tools/pxviber/packages/testing/deb_builder.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

namespace pxviber::packages::testing {

using platform::foundation::Bytes;

namespace {

la_ssize_t append(archive*, void* out, const void* data, size_t size) {
  auto* bytes = static_cast<const std::uint8_t*>(data);
  static_cast<Bytes*>(out)->insert(static_cast<Bytes*>(out)->end(), bytes, bytes + size);
  return static_cast<la_ssize_t>(size);
}

void addEntry(archive* a, const Entry& e) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, e.path.c_str());
  archive_entry_set_perm(entry, e.mode);
  switch (e.kind) {
    case Entry::Kind::File:
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
      break;
    case Entry::Kind::Directory:
      archive_entry_set_filetype(entry, AE_IFDIR);
      break;
    case Entry::Kind::Symlink:
      archive_entry_set_filetype(entry, AE_IFLNK);
      archive_entry_set_symlink(entry, e.target.c_str());
      break;
    case Entry::Kind::Hardlink:
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_hardlink(entry, e.target.c_str());
      break;
    case Entry::Kind::Fifo:
      archive_entry_set_filetype(entry, AE_IFIFO);
      break;
  }
  archive_write_header(a, entry);
  if (e.kind == Entry::Kind::File) archive_write_data(a, e.content.data(), e.content.size());
  archive_entry_free(entry);
}

// An archive of `entries`: a compressed tar, or the outer ar.
Bytes archiveOf(const std::vector<Entry>& entries, bool ar, bool gzip) {
  Bytes out;
  archive* a = archive_write_new();
  if (ar) {
    archive_write_set_format_ar_svr4(a);
  } else {
    archive_write_set_format_gnutar(a);
    gzip ? archive_write_add_filter_gzip(a) : archive_write_add_filter_xz(a);
  }
  // No padding of the last block: the bytes end where the archive does.
  archive_write_set_bytes_in_last_block(a, 1);
  archive_write_open(a, &out, nullptr, append, nullptr);
  for (auto& e : entries) addEntry(a, e);
  archive_write_close(a);
  archive_write_free(a);
  return out;
}

}  // namespace

Entry file(const std::string& path, const std::string& content, unsigned mode) {
  Entry e;
  e.path = path;
  e.content = content;
  e.mode = mode;
  return e;
}

Entry folder(const std::string& path) {
  Entry e;
  e.path = path;
  e.kind = Entry::Kind::Directory;
  e.mode = 0755;
  return e;
}

Entry link(const std::string& path, const std::string& target) {
  Entry e;
  e.path = path;
  e.kind = Entry::Kind::Symlink;
  e.target = target;
  return e;
}

Entry hardLink(const std::string& path, const std::string& target) {
  Entry e = link(path, target);
  e.kind = Entry::Kind::Hardlink;
  return e;
}

Entry fifo(const std::string& path) {
  Entry e;
  e.path = path;
  e.kind = Entry::Kind::Fifo;
  return e;
}

std::string controlText(const PackageSpec& recipe, const std::string& deviceArchitecture) {
  std::string text = "Package: " + recipe.name + "\nVersion: " + recipe.version +
                     "\nArchitecture: " +
                     (recipe.architecture.empty() ? deviceArchitecture : recipe.architecture) +
                     "\nMaintainer: Tests <tests@example.com>\n";
  if (!recipe.depends.empty()) text += "Depends: " + recipe.depends + "\n";
  return text + "Description: a package for tests\n made by the tests\n";
}

Bytes buildDeb(const PackageSpec& recipe, const std::string& deviceArchitecture) {
  std::vector<Entry> control{file("./control", controlText(recipe, deviceArchitecture))};
  for (auto& [name, text] : recipe.controlFiles) control.push_back(file("./" + name, text));
  const char* suffix = recipe.gzip ? ".gz" : ".xz";
  Bytes controlTar = archiveOf(control, false, recipe.gzip);
  Bytes dataTar = archiveOf(recipe.data, false, recipe.gzip);
  return archiveOf(
      {file("debian-binary", "2.0\n"),
       file(std::string("control.tar") + suffix, std::string(controlTar.begin(), controlTar.end())),
       file(std::string("data.tar") + suffix, std::string(dataTar.begin(), dataTar.end()))},
      true, false);
}

std::vector<Entry> sampleFiles(const std::string& folder) {
  return {testing::folder("./"),
          testing::folder("./Library/"),
          testing::folder("./Library/" + folder + "/"),
          file("./Library/" + folder + "/tool.so", "ELF-ish bytes", 0755),
          file("./Library/" + folder + "/tool.plist", "<plist/>"),
          link("./Library/" + folder + "/current", "tool.so")};
}

}  // namespace pxviber::packages::testing
