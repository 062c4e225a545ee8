// Universal code files for tests: an ar archive of named members, as `ar`
// writes it, and ELF objects retargeted to another processor.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/file_io.h"

namespace platform::runtime::testing {

using Members = std::vector<std::pair<std::string, foundation::Bytes>>;

foundation::Bytes universalFile(const Members& members);

// `elf` with its header naming RISC-V as the processor: a slice that no
// process here can load.
foundation::Bytes retargetedToRiscV(foundation::Bytes elf);

}  // namespace platform::runtime::testing
