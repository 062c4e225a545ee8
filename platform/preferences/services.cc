#include "platform/preferences/services.h"

#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/notify/notify_center.h"
#include "platform/preferences/application.h"
#include "platform/preferences/settings_store.h"

namespace platform::preferences {

namespace {

class BundleSpecifierListSource final : public SpecifierListSource {
 public:
  std::optional<foundation::Value> load(const std::filesystem::path& bundle,
                                        const std::string& name, std::string* failure) override {
    std::filesystem::path file = bundle / (name + ".plist");
    auto bytes = foundation::readFile(file, foundation::kMaxPropertyListBytes);
    if (!bytes) {
      if (failure) *failure = "no readable file at " + file.string();
      return std::nullopt;
    }
    auto root = foundation::parsePropertyList(*bytes);
    if (!root && failure) *failure = file.string() + " is not a property list";
    return root;
  }
};

// Posts through whatever Darwin centre the process has when the post happens,
// so that a centre the app joins after the first use is still the one used.
class DarwinPoster final : public notify::NotificationPoster {
 public:
  void postNotification(std::string_view name) override {
    if (auto center = notify::darwinNotifyCenter()) {
      center->postNotification(name);
    } else {
      foundation::NSLog("Preferences: not on a device bus; {} not posted", name);
    }
  }
};

Services& slot() {
  static Services s;
  return s;
}

}  // namespace

std::shared_ptr<SpecifierListSource> makeBundleSpecifierListSource() {
  return std::make_shared<BundleSpecifierListSource>();
}

Services& services() {
  Services& s = slot();
  if (!s.store) s.store = makeFileSettingsStore();
  if (!s.poster) s.poster = std::make_shared<DarwinPoster>();
  if (!s.specifierLists) s.specifierLists = makeBundleSpecifierListSource();
  if (!s.urlHandler) s.urlHandler = makeDesktopURLHandler();
  return s;
}

void resetServices() { slot() = Services{}; }

}  // namespace platform::preferences
