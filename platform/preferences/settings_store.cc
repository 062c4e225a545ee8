#include "platform/preferences/settings_store.h"

#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/preferences/list_items.h"

namespace platform::preferences {

namespace {

class FileSettingsStore final : public SettingsStore {
 public:
  std::optional<foundation::Value> read(const std::string& domain,
                                        const std::string& key) override {
    if (!isValidDefaultsDomain(domain)) return std::nullopt;
    auto file = foundation::readDictionaryFile(foundation::hostPath(domainDevicePath(domain)));
    if (!file) return std::nullopt;
    const foundation::Value* v = foundation::find(*file, key);
    if (!v) return std::nullopt;
    return *v;
  }

  bool write(const std::string& domain, const std::string& key,
             const foundation::Value& value) override {
    if (!isValidDefaultsDomain(domain)) return false;
    auto path = foundation::hostPath(domainDevicePath(domain));
    auto result = foundation::updateDictionaryFile(
        path, [&](foundation::Dictionary& d) { d.insert_or_assign(key, value); });
    // The write itself succeeded; the damaged file it replaced deserves a line.
    if (result.keptAside) {
      foundation::NSLog("Preferences: {} could not be read; kept it as {}", path.string(),
                        result.keptAside->string());
    }
    return result.written;
  }
};

}  // namespace

std::string domainDevicePath(const std::string& domain) {
  return std::string(kPreferencesFolderDevicePath) + "/" + domain + ".plist";
}

std::shared_ptr<SettingsStore> makeFileSettingsStore() {
  return std::make_shared<FileSettingsStore>();
}

}  // namespace platform::preferences
