// The messenger's home: the data container of an application on the current
// device (what NSHomeDirectory() answers inside it).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform::messenger {

// The host path of the data container of `bundleIdentifier`: on iOS 8 and 9 the
// folder under "/private/var/mobile/Containers/Data/Application/" whose container
// metadata names the identifier; on iOS 7 the folder under
// "/private/var/mobile/Applications/" whose application bundle has that
// identifier. nullopt when there is none.
std::optional<std::filesystem::path> findDataContainer(const std::string& bundleIdentifier);

}  // namespace platform::messenger
