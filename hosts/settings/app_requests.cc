#include "hosts/settings/app_requests.h"

#include "hosts/settings/settings_driver.h"
#include "platform/foundation/error.h"

namespace hosts::settings {

namespace {

using platform::Error;
using platform::foundation::Dictionary;
using platform::foundation::Value;

std::string argument(const Dictionary& request, const char* key) {
  const Value* v = platform::foundation::find(request, key);
  if (!v || !v->asString()) throw Error(std::string("the request needs a \"") + key + "\"");
  return *v->asString();
}

Dictionary toggle(SettingsDriver& driver, const Dictionary& request) {
  std::string key = argument(request, "key");
  auto value = driver.toggle(key);
  if (!value) throw Error("no switch for " + key);
  return {{"value", Value(*value)}};
}

Dictionary type(SettingsDriver& driver, const Dictionary& request) {
  std::string key = argument(request, "key");
  auto accepted = driver.type(key, argument(request, "text"));
  if (!accepted) throw Error("no text field for " + key);
  return {{"accepted", Value(*accepted)}};
}

Dictionary tap(SettingsDriver& driver, const Dictionary& request) {
  std::string action = argument(request, "action");
  if (!driver.tap(action)) throw Error("no button for " + action);
  return {};
}

Dictionary open(SettingsDriver& driver, const Dictionary& request) {
  std::string why = driver.open(argument(request, "pane"));
  if (!why.empty()) throw Error(why);
  return driver.state();
}

}  // namespace

std::map<std::string, platform::runtime::HostRequestHandler> settingsRequestHandlers(
    SettingsDriver& driver) {
  auto with = [&driver](Dictionary (*handler)(SettingsDriver&, const Dictionary&)) {
    return [&driver, handler](const Dictionary& request) { return handler(driver, request); };
  };
  std::map<std::string, platform::runtime::HostRequestHandler> h;
  h["state"] = [&driver](const Dictionary&) { return driver.state(); };
  h["open"] = with(open);
  h["toggle"] = with(toggle);
  h["type"] = with(type);
  h["tap"] = with(tap);
  h["back"] = [&driver](const Dictionary&) {
    driver.back();
    return driver.state();
  };
  h["snapshot"] = [&driver](const Dictionary& r) {
    return Dictionary{{"written", Value(driver.snapshot(argument(r, "path")))}};
  };
  return h;
}

}  // namespace hosts::settings
