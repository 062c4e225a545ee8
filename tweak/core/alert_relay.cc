#include "tweak/core/alert_relay.h"

#include "platform/springboard/alert.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"

namespace tweak {

namespace foundation = platform::foundation;

namespace {

void relay(const std::optional<std::string>& title, const std::optional<std::string>& message,
           const std::optional<std::string>& replies) {
  if (!settings().showAlerts) return;
  updateMailbox([&](foundation::Dictionary& d) {
    if (title) d[key::alertTitle] = foundation::Value(*title);
    if (message) d[key::alertMessage] = foundation::Value(*message);
    if (replies) {
      d[key::alertReplies] = foundation::Value(*replies);
    } else {
      d.erase(key::alertReplies);
    }
  });
  // A failed write is not a reason to stay silent: the springboard then shows
  // what the file holds.
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kShowAlertNotification);
  }
}

std::optional<std::string> text(const foundation::Dictionary& file, const char* k) {
  const auto* v = foundation::find(file, k);
  return v && v->asString() ? std::optional(*v->asString()) : std::nullopt;
}

}  // namespace

void showAlert(const std::optional<std::string>& title, const std::optional<std::string>& message) {
  relay(title, message, std::nullopt);
}

void showReplyAlert(const std::string& title, const std::string& message,
                    const std::string& replies) {
  relay(title, message, replies);
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
    message = text(*file, key::alertMessage);
    title = text(*file, key::alertTitle);
    if (auto replies = text(*file, key::alertReplies)) {
      message = message ? *message + "\n" + *replies : *replies;
    }
  }
  platform::springboard::UIAlertView(title, message, std::string("OK")).show();
}

}  // namespace tweak
