// The settings store: where the rows of a settings list keep their values.
//
// A defaults domain is a property-list file, "/var/mobile/Library/Preferences/
// <domain>.plist" on the device, whose root dictionary maps keys to values. The
// store reads one key at a time and writes one key at a time; a write keeps every
// other key of the file, because the same file may also carry data that other
// processes leave there (a waiting request, an alert).
//
// Used from the Settings app's main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/value.h"

namespace platform::preferences {

inline constexpr const char* kPreferencesFolderDevicePath = "/var/mobile/Library/Preferences";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The value under `key` in `domain`; nullopt when the file is absent or
  // unreadable, or holds no such key.
  virtual std::optional<foundation::Value> read(const std::string& domain,
                                                const std::string& key) = 0;
  // Stores `value` under `key`, keeping the other keys of the domain. Answers
  // false when the file could not be written (the caller reports it).
  virtual bool write(const std::string& domain, const std::string& key,
                     const foundation::Value& value) = 0;
};

// The device path of a domain's file: "/var/mobile/Library/Preferences/<domain>.plist".
std::string domainDevicePath(const std::string& domain);

// The store over the current device's files. Writes go through the locked
// read-modify-write of property_list.h, so a write never drops a key that another
// writer stored between this store's read and its write; an unreadable file that
// a write replaces is kept aside and logged.
std::shared_ptr<SettingsStore> makeFileSettingsStore();

}  // namespace platform::preferences
