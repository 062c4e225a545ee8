#include "tweak/core/alert_relay.h"

#include "platform/springboard/alert.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"

namespace tweak {

namespace foundation = platform::foundation;

void showAlert(const std::optional<std::string>& title, const std::optional<std::string>& message) {
  if (!settings().showAlerts) return;
  updateMailbox([&](foundation::Dictionary& d) {
    if (title) d[key::alertTitle] = foundation::Value(*title);
    if (message) d[key::alertMessage] = foundation::Value(*message);
  });
  // A failed write is not a reason to stay silent: the springboard then shows
  // what the file holds.
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kShowAlertNotification);
  }
}

void showAlertHere(const std::string& title, const std::string& message) {
  if (!settings().showAlerts) return;
  platform::springboard::UIAlertView(title, message, std::string("OK")).show();
}

void showAlertCallback(platform::notify::NotifyCenter*, const void*, std::string_view, const void*,
                       const void*) {
  // One reading for both texts: two readings could pair the message of one
  // alert with the title of the next when a write falls between them.
  auto file = readMailbox();
  std::optional<std::string> title;
  std::optional<std::string> message;
  if (file) {
    if (const auto* v = foundation::find(*file, key::alertMessage); v && v->asString()) {
      message = *v->asString();
    }
    if (const auto* v = foundation::find(*file, key::alertTitle); v && v->asString()) {
      title = *v->asString();
    }
  }
  platform::springboard::UIAlertView(title, message, std::string("OK")).show();
}

}  // namespace tweak
