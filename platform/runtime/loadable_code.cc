#include "platform/runtime/loadable_code.h"

#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <elf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"

namespace platform::runtime {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kArchiveMagic = "!<arch>\n";
// A plug-in larger than this is no plug-in: the limit bounds what a damaged
// universal file can make the loader read.
constexpr std::uintmax_t kMaxCodeBytes = std::uintmax_t(1) << 30;

using Archive = std::unique_ptr<archive, decltype(&archive_read_free)>;

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

void requireUniversal(const foundation::Bytes& bytes, const fs::path& path) {
  if (!startsWith(bytes, kArchiveMagic))
    throw Error(path.string() + " is neither a shared object nor a universal file");
}

Error archiveError(archive* a, const fs::path& path) {
  const char* why = archive_error_string(a);
  return Error("damaged universal file " + path.string() + ": " + (why ? why : "unreadable"));
}

// Calls `each(name, bytes)` for every member of the universal file in `bytes`.
template <typename Each>
void forEachMember(const foundation::Bytes& bytes, const fs::path& path, Each each) {
  Archive a(archive_read_new(), archive_read_free);
  archive_read_support_format_ar(a.get());
  if (archive_read_open_memory(a.get(), bytes.data(), bytes.size()) != ARCHIVE_OK)
    throw archiveError(a.get(), path);
  archive_entry* entry = nullptr;
  int r = ARCHIVE_OK;
  while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
    la_int64_t size = archive_entry_size(entry);
    if (size < 0 || static_cast<std::uintmax_t>(size) > kMaxCodeBytes)
      throw archiveError(a.get(), path);
    foundation::Bytes member(static_cast<std::size_t>(size));
    la_ssize_t n = archive_read_data(a.get(), member.data(), member.size());
    if (n < 0 || static_cast<std::size_t>(n) != member.size()) throw archiveError(a.get(), path);
    each(std::string(archive_entry_pathname(entry)), member);
  }
  if (r != ARCHIVE_EOF) throw archiveError(a.get(), path);
}

foundation::Bytes readCode(const fs::path& path) {
  auto bytes = foundation::readFile(path, kMaxCodeBytes);
  if (!bytes) throw Error("cannot read " + path.string());
  return std::move(*bytes);
}

// dlopen of `bytes` through an anonymous in-memory file: the loader takes a
// path, and the slice has none of its own.
void* loadBytes(const foundation::Bytes& bytes, const std::string& name, int flags) {
  int fd = ::memfd_create(name.c_str(), MFD_CLOEXEC);
  if (fd < 0) throw SystemError("memfd_create", errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = errno;
      ::close(fd);
      throw SystemError("writing the slice " + name, err);
    }
    done += static_cast<std::size_t>(n);
  }
  std::string procPath = "/proc/self/fd/" + std::to_string(fd);
  void* handle = ::dlopen(procPath.c_str(), flags);
  std::string why = handle ? "" : ::dlerror();
  ::close(fd);  // the mapping outlives the descriptor
  if (!handle) throw Error("cannot load the slice " + name + ": " + why);
  return handle;
}

}  // namespace

std::optional<CodeArchitecture> elfArchitecture(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < sizeof(Elf32_Ehdr) || !startsWith(bytes, ELFMAG)) return std::nullopt;
  // e_machine sits at the same offset in both classes, in the file's byte order;
  // every processor here is little-endian.
  if (bytes[EI_DATA] != ELFDATA2LSB) return std::nullopt;
  std::size_t at = offsetof(Elf32_Ehdr, e_machine);
  auto machine = static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  return CodeArchitecture{machine, bytes[EI_CLASS]};
}

CodeArchitecture processArchitecture() {
  // The ELF header of this library, as the loader mapped it.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&processArchitecture), &info) == 0 || !info.dli_fbase)
    throw Error("cannot find this process's own code");
  const auto* header = static_cast<const std::uint8_t*>(info.dli_fbase);
  auto arch = elfArchitecture(std::span(header, sizeof(Elf64_Ehdr)));
  if (!arch) throw Error("this process's code has no readable ELF header");
  return *arch;
}

std::string describe(CodeArchitecture arch) {
  switch (arch.machine) {
    case EM_X86_64:
      return "x86-64";
    case EM_386:
      return "Intel 80386";
    case EM_AARCH64:
      return "ARM aarch64";
    case EM_ARM:
      return "ARM (32-bit)";
    default:
      return "machine " + std::to_string(arch.machine);
  }
}

std::vector<CodeSlice> codeSlices(const fs::path& path) {
  foundation::Bytes bytes = readCode(path);
  if (auto arch = elfArchitecture(bytes)) return {CodeSlice{"", *arch}};
  requireUniversal(bytes, path);
  std::vector<CodeSlice> slices;
  forEachMember(bytes, path, [&](const std::string& name, const foundation::Bytes& member) {
    auto arch = elfArchitecture(member);
    if (!arch) throw Error("the slice " + name + " of " + path.string() + " is no ELF object");
    slices.push_back({name, *arch});
  });
  return slices;
}

void* loadCode(const fs::path& path, int flags) {
  foundation::Bytes bytes = readCode(path);
  if (elfArchitecture(bytes)) {
    void* handle = ::dlopen(path.c_str(), flags);
    if (!handle) throw Error(std::string("cannot load ") + path.string() + ": " + ::dlerror());
    return handle;
  }
  requireUniversal(bytes, path);
  CodeArchitecture own = processArchitecture();
  std::vector<std::string> held;
  void* handle = nullptr;
  forEachMember(bytes, path, [&](const std::string& name, const foundation::Bytes& member) {
    auto arch = elfArchitecture(member);
    held.push_back(name + " (" + (arch ? describe(*arch) : "no ELF object") + ")");
    if (!handle && arch == own)
      handle = loadBytes(member, path.filename().string() + ":" + name, flags);
  });
  if (handle) return handle;
  std::string list;
  for (auto& h : held) list += (list.empty() ? "" : ", ") + h;
  throw Error(path.string() + " holds no slice for this processor (" + describe(own) +
              "); it holds: " + (list.empty() ? "nothing" : list));
}

}  // namespace platform::runtime
