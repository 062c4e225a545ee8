#include "platform/preferences/list_controller.h"

#include <charconv>

#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "platform/preferences/page_stack.h"
#include "platform/preferences/services.h"
#include "platform/preferences/settings_store.h"

namespace platform::preferences {

using foundation::Value;

Specifiers PSListController::specifiers() { return _specifiers; }

std::shared_ptr<SpecifierList> PSListController::loadSpecifiersFromPlistName(
    const std::string& name, ActionTarget* target) {
  std::string failure;
  std::optional<Value> root = services().specifierLists->load(bundlePath_, name, &failure);
  std::optional<SpecifierList> list;
  if (root) list = parseSpecifierList(*root, target, &failure);
  if (!list) {
    lastLoadFailure_ = name + ".plist: " + failure;
    foundation::NSLog("Preferences: cannot load the specifier list {}", lastLoadFailure_);
    return nullptr;
  }
  lastLoadFailure_.clear();
  for (auto& line : list->skipped) foundation::NSLog("Preferences: {}.plist: {}", name, line);
  return std::make_shared<SpecifierList>(std::move(*list));
}

void PSListController::pushController(std::shared_ptr<UIViewController> controller, bool animate) {
  if (!controller) return;
  if (!pageStack()) {
    foundation::NSLog("Preferences: {} is on no page stack; {} not shown", className(),
                      controller->className());
    return;
  }
  if (auto* list = dynamic_cast<PSListController*>(controller.get());
      list && list->bundlePath().empty()) {
    list->setBundlePath(bundlePath_);
  }
  pageStack()->push(std::move(controller), animate);
}

Value PSListController::readPreferenceValue(const PSSpecifier& s) const {
  Value fallback = s.defaultValue.value_or(Value());
  if (!s.key || !s.defaults) return fallback;
  std::optional<Value> stored = services().store->read(*s.defaults, *s.key);
  if (!stored) return fallback;
  // A stored value the row's reading cannot take (a date under a switch) counts
  // as absent, as it does for the tweak that reads the same key.
  bool readable = true;
  if (s.cell == CellType::Switch) readable = stored->boolValue().has_value();
  if (s.keyboard == KeyboardType::Numbers) readable = stored->longLongValue().has_value();
  if (s.cell == CellType::EditText && s.keyboard == KeyboardType::Text) {
    readable = stored->asString() || stored->isNumber();
  }
  return readable ? *stored : fallback;
}

bool PSListController::setPreferenceValue(const Value& value, const PSSpecifier& s) {
  if (!s.key || !s.defaults) return false;
  if (!services().store->write(*s.defaults, *s.key, value)) {
    foundation::NSLog("Preferences: cannot store {} in {}", *s.key, domainDevicePath(*s.defaults));
    return false;
  }
  if (s.postNotification && !s.postNotification->empty()) {
    services().poster->postNotification(*s.postNotification);
  }
  return true;
}

bool PSListController::respondsToSelector(std::string_view selector) const {
  return actions_.find(selector) != actions_.end();
}

bool PSListController::performSelector(std::string_view selector) {
  auto it = actions_.find(selector);
  if (it == actions_.end()) {
    foundation::NSLog("Preferences: {} does not respond to {}", className(), selector);
    return false;
  }
  // A copy: the action may replace the table's entries while it runs.
  std::function<void()> action = it->second;
  action();
  return true;
}

void PSListController::defineAction(std::string selector, std::function<void()> action) {
  actions_[std::move(selector)] = std::move(action);
}

std::optional<std::int64_t> parseWholeNumber(std::string_view text,
                                             std::optional<std::int64_t> minimum,
                                             std::optional<std::int64_t> maximum) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  // from_chars takes a leading "-" but not "+"; the sign is checked here so that
  // exactly one optional sign followed by digits gets through.
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  if (text.front() == '+') text.remove_prefix(1);
  std::int64_t n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if ((minimum && n < *minimum) || (maximum && n > *maximum)) return std::nullopt;
  return n;
}

}  // namespace platform::preferences
