// Loading code files: a plain shared object, or a universal file that holds one
// shared object per processor architecture, of which the one built for this
// process's processor is loaded. A plug-in bundle that must load on 32-bit and
// on 64-bit ARM ships its executable as a universal file.
//
// A universal file is an ar archive ("!<arch>\n", as `ar rcD` makes it) whose
// members are ELF shared objects, one per architecture, each named after its
// Debian architecture ("arm64", "armhf", "amd64"). The names are for people:
// the slice is chosen by the processor and word size in its ELF header, which
// must match this process's own.
//
// Any thread may call these functions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::runtime {

// The processor an ELF object is built for: e_machine and the word size
// (ELFCLASS32 or ELFCLASS64).
struct CodeArchitecture {
  std::uint16_t machine = 0;
  std::uint8_t elfClass = 0;
  bool operator==(const CodeArchitecture&) const = default;
};

// The architecture of the code running this process.
CodeArchitecture processArchitecture();

// The architecture in the ELF header at the start of `bytes`; nullopt when
// they do not begin with an ELF header.
std::optional<CodeArchitecture> elfArchitecture(std::span<const std::uint8_t> bytes);

// A readable name: "x86-64", "ARM aarch64", "ARM (32-bit)", else "machine N".
std::string describe(CodeArchitecture arch);

struct CodeSlice {
  std::string name;  // the member's name in a universal file; "" for a plain object
  CodeArchitecture architecture;
};

// The slices of the file at `path`: one for a plain ELF object, one per member
// of a universal file. Throws platform::Error when the file cannot be read, is
// neither, or is a damaged archive.
std::vector<CodeSlice> codeSlices(const std::filesystem::path& path);

// dlopen of the file at `path` with `dlopenFlags`; of a universal file, of the
// slice whose architecture is processArchitecture(). Answers the handle, which
// stays valid for the life of the process unless the caller closes it. Throws
// platform::Error saying why when nothing fits or the loader refuses it.
void* loadCode(const std::filesystem::path& path, int dlopenFlags);

}  // namespace platform::runtime
