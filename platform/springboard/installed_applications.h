// The applications installed on the device, found from their bundles' Info.plist
// files in the folders where each iOS version keeps bundles.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform::springboard {

struct InstalledApplication {
  std::string bundleIdentifier;
  std::filesystem::path bundlePath;  // host path of the .app folder
  std::string executable;            // CFBundleExecutable; empty when absent
};

// Every installed application of the current device, system applications
// ("/Applications") first.
std::vector<InstalledApplication> installedApplications();

std::optional<InstalledApplication> findInstalledApplication(const std::string& bundleIdentifier);

}  // namespace platform::springboard
