#include "tweak/extension/attachment_names.h"

#include <fmt/format.h>

namespace tweak {

namespace {

bool isTaken(const std::string& name, const std::vector<std::filesystem::path>& folders,
             const std::set<std::string>& takenByRequests) {
  if (takenByRequests.count(name)) return true;
  for (const auto& folder : folders) {
    std::error_code ec;
    // A name that cannot be checked counts as taken: a failed check must not
    // lead to an overwrite.
    bool exists = std::filesystem::exists(folder / name, ec);
    if (exists || ec) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> freeAttachmentName(std::uint64_t seconds,
                                              const std::vector<std::filesystem::path>& folders,
                                              const std::set<std::string>& takenByRequests) {
  for (int suffix = 0; suffix < 100; ++suffix) {
    std::string name = fmt::format("{}{:02}.jpg", seconds, suffix);
    if (!isTaken(name, folders, takenByRequests)) return name;
  }
  return std::nullopt;
}

}  // namespace tweak
