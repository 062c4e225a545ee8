#include "platform/springboard/installed_applications.h"

#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"

namespace platform::springboard {

namespace fs = std::filesystem;

namespace {

// Where bundles live: system applications, then the containers of iOS 9, iOS 8,
// and the application folders of iOS 7.
constexpr const char* kSystemApplications = "/Applications";
constexpr const char* kBundleContainers[] = {"/private/var/containers/Bundle/Application",
                                             "/private/var/mobile/Containers/Bundle/Application",
                                             "/private/var/mobile/Applications"};

std::optional<InstalledApplication> readBundle(const fs::path& bundle) {
  if (bundle.extension() != ".app") return std::nullopt;
  auto info = foundation::readDictionaryFile(bundle / "Info.plist");
  if (!info) return std::nullopt;
  const auto* id = foundation::find(*info, "CFBundleIdentifier");
  if (!id || !id->asString()) return std::nullopt;
  InstalledApplication app{*id->asString(), bundle, {}};
  if (const auto* exe = foundation::find(*info, "CFBundleExecutable"); exe && exe->asString()) {
    app.executable = *exe->asString();
  }
  return app;
}

}  // namespace

std::vector<InstalledApplication> installedApplications() {
  std::vector<InstalledApplication> apps;
  std::error_code ec;
  for (auto& entry : fs::directory_iterator(foundation::hostPath(kSystemApplications), ec)) {
    if (auto app = readBundle(entry.path())) apps.push_back(std::move(*app));
  }
  for (const char* folder : kBundleContainers) {
    for (auto& container : fs::directory_iterator(foundation::hostPath(folder), ec)) {
      std::error_code inner;
      for (auto& entry : fs::directory_iterator(container.path(), inner)) {
        if (auto app = readBundle(entry.path())) apps.push_back(std::move(*app));
      }
    }
  }
  return apps;
}

std::optional<InstalledApplication> findInstalledApplication(const std::string& bundleIdentifier) {
  for (auto& app : installedApplications()) {
    if (app.bundleIdentifier == bundleIdentifier) return app;
  }
  return std::nullopt;
}

}  // namespace platform::springboard
