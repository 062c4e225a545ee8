// The tweak loader: loads the tweak libraries whose filter names this process.
//
// Each "<name>.plist" in the device's "/Library/MobileSubstrate/DynamicLibraries/"
// is a filter; a dictionary whose "Filter" → "Bundles" array lists bundle
// identifiers. When the array holds the process's bundle identifier, the library
// "<name>.so" beside it is loaded with dlopen, which runs its load-time
// constructors. Filters are taken in name order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform::runtime {

inline constexpr const char* kTweakFolderDevicePath = "/Library/MobileSubstrate/DynamicLibraries";

struct LoadedTweak {
  std::string name;
  std::filesystem::path library;
  bool loaded = false;
  std::string error;  // dlerror() when loading failed
};

// The libraries whose filters select `bundleIdentifier`, in load order; does not load.
std::vector<std::filesystem::path> tweaksForBundle(const std::filesystem::path& folder,
                                                   const std::string& bundleIdentifier);

// Loads them; failures are logged and reported, never thrown. Libraries stay
// loaded for the life of the process.
std::vector<LoadedTweak> loadTweaks(const std::string& bundleIdentifier);

}  // namespace platform::runtime
