// The attachment file name of a photo reply: the current time in whole seconds
// since 1970, then two digits, then ".jpg" ("%lu00.jpg" while "00" is free).
// Where "00" is taken (a file of that name in either attachment folder, or a
// pending request that names it), the next free suffix from "01" to "99" is
// used, so that one photo can never replace another's files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tweak {

// The first free name for the second `seconds`; nullopt when all hundred are
// taken. `folders` are the host paths of the two attachment folders.
std::optional<std::string> freeAttachmentName(std::uint64_t seconds,
                                              const std::vector<std::filesystem::path>& folders,
                                              const std::set<std::string>& takenByRequests);

}  // namespace tweak
