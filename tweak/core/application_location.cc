#include "tweak/core/application_location.h"

#include "platform/foundation/bundle.h"
#include "platform/springboard/app_list.h"
#include "tweak/core/process_state.h"

namespace tweak {

namespace {

constexpr const char* kViberIdentifier = "com.viber";
constexpr const char* kSystemApplicationsPrefix = "/Applications/";
constexpr const char* kSystemApplicationDataPath = "/private/var/mobile/";

// valueForKey:forDisplayIdentifier: on the shared catalogue; a missing catalogue
// or a nil identifier answers nil, as a message to nil does.
std::optional<std::string> catalogueValue(const char* key,
                                          const std::optional<std::string>& identifier) {
  auto list = platform::springboard::ALApplicationList::sharedApplicationList();
  if (!list || !identifier) return std::nullopt;
  return list->valueForKey(key, *identifier);
}

}  // namespace

std::optional<std::string> findAppBundlePath(const std::optional<std::string>& identifier) {
  return catalogueValue(platform::springboard::kALPathKey, identifier);
}

std::optional<std::string> findAppDataPath(const std::optional<std::string>& identifier) {
  if (platform::foundation::processInfoRespondsToIsOperatingSystemAtLeastVersion()) {
    return catalogueValue(platform::springboard::kALDataContainerPathKey, identifier);
  }
  std::optional<std::string> bundle = findAppBundlePath(identifier);
  if (!bundle) return std::nullopt;
  if (bundle->starts_with(kSystemApplicationsPrefix)) return kSystemApplicationDataPath;
  // stringByAppendingPathComponent: adds one slash and keeps the ".." as it is.
  return bundle->ends_with("/") ? *bundle + ".." : *bundle + "/..";
}

std::optional<std::string> viberAppPath() {
  std::optional<std::string>& cached = processState().viberAppPath;
  if (!cached) cached = findAppDataPath(kViberIdentifier);
  return cached;
}

}  // namespace tweak
