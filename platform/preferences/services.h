// The services that settings panes reach through the platform: where values are
// stored, who hears about changes, where specifier lists come from, what loads
// web pages and what opens URLs.
//
// They are process-wide, set by the Settings app at start or by a test; each one
// left unset is made on first use with its Linux implementation (the settings
// files of the current device, the device's Darwin notify centre, the bundle's
// files, no web engine, the desktop's URL handler). resetServices() forgets
// them all. Used from the main thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace platform::notify {
class NotificationPoster;
}

namespace platform::preferences {

class SettingsStore;
class WebEngine;
class URLHandler;

// Where a list controller's specifier lists come from.
class SpecifierListSource {
 public:
  virtual ~SpecifierListSource() = default;
  // The property list "<name>.plist" of the bundle at `bundle`. nullopt when it
  // is missing or is not a property list, with the reason in `failure`.
  virtual std::optional<foundation::Value> load(const std::filesystem::path& bundle,
                                                const std::string& name, std::string* failure) = 0;
};

std::shared_ptr<SpecifierListSource> makeBundleSpecifierListSource();

struct Services {
  std::shared_ptr<SettingsStore> store;
  std::shared_ptr<notify::NotificationPoster> poster;
  std::shared_ptr<SpecifierListSource> specifierLists;
  std::shared_ptr<WebEngine> webEngine;
  std::shared_ptr<URLHandler> urlHandler;
};

// The services, with the unset ones other than webEngine filled in.
Services& services();
void resetServices();

}  // namespace platform::preferences
