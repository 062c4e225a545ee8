#include "tweak/core/preferences.h"

#include <optional>

#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "tweak/core/process_state.h"

namespace tweak {

using platform::foundation::Dictionary;
using platform::foundation::Value;

namespace {

// A value present with a kind that has no boolValue/longLongValue (a date, data,
// an array) would make the platform raise; it is taken as absent instead, so a
// damaged file yields the defaults rather than a crash.
std::optional<bool> boolFor(const std::optional<Dictionary>& d, const char* k) {
  if (!d) return std::nullopt;
  const Value* v = platform::foundation::find(*d, k);
  return v ? v->boolValue() : std::nullopt;
}

std::optional<std::int64_t> integerFor(const std::optional<Dictionary>& d, const char* k) {
  if (!d) return std::nullopt;
  const Value* v = platform::foundation::find(*d, k);
  return v ? v->longLongValue() : std::nullopt;
}

}  // namespace

SettingsValues& settings() { return processState().settings; }

std::filesystem::path preferencesPath() {
  return platform::foundation::hostPath(kPreferencesDevicePath);
}

void loadPreferences() {
  const std::optional<Dictionary> file = processState().files->readDictionary(preferencesPath());
  SettingsValues& s = settings();
  s.fetchHistoryFromDB =
      boolFor(file, key::fetchHistoryFromDB).value_or(kDefaultFetchHistoryFromDB);
  s.historyDaysToDisplay =
      integerFor(file, key::historyDaysToDisplay).value_or(kDefaultHistoryDaysToDisplay);
  s.maxMessagesToDisplay =
      integerFor(file, key::maxMessagesToDisplay).value_or(kDefaultMaxMessagesToDisplay);
  s.debugMode = boolFor(file, key::debugMode).value_or(kDefaultDebugMode);
  s.showAlerts = boolFor(file, key::showAlerts).value_or(kDefaultShowAlerts);
  s.markReadOnReply = boolFor(file, key::markReadOnReply).value_or(kDefaultMarkReadOnReply);
  if (s.debugMode) {
    platform::foundation::NSLog(
        "PXVIBER: preferences reloaded: fetchHistoryFromDB={} historyDaysToDisplay={} "
        "maxMessagesToDisplay={} debugMode={} showAlerts={} markReadOnReply={}",
        int(s.fetchHistoryFromDB), s.historyDaysToDisplay, s.maxMessagesToDisplay, int(s.debugMode),
        int(s.showAlerts), int(s.markReadOnReply));
  }
}

}  // namespace tweak
