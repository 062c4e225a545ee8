#include "platform/runtime/testing/universal_file.h"

#include <archive.h>
#include <archive_entry.h>
#include <elf.h>

#include <cstddef>

namespace platform::runtime::testing {

foundation::Bytes universalFile(const Members& members) {
  std::size_t total = 4096;
  for (auto& [name, bytes] : members) total += bytes.size() + 128;
  foundation::Bytes out(total);
  std::size_t used = 0;
  archive* a = archive_write_new();
  archive_write_set_format_ar_svr4(a);
  archive_write_set_bytes_in_last_block(a, 1);
  archive_write_open_memory(a, out.data(), out.size(), &used);
  for (auto& [name, bytes] : members) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0755);
    archive_write_header(a, e);
    archive_write_data(a, bytes.data(), bytes.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  out.resize(used);
  return out;
}

foundation::Bytes retargetedToRiscV(foundation::Bytes elf) {
  if (elf.size() >= sizeof(Elf32_Ehdr)) {
    elf[offsetof(Elf32_Ehdr, e_machine)] = EM_RISCV;
    elf[offsetof(Elf32_Ehdr, e_machine) + 1] = 0;
  }
  return elf;
}

}  // namespace platform::runtime::testing
