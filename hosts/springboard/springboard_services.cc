#include "hosts/springboard/springboard_services.h"

#include "hosts/springboard/application_services.h"
#include "hosts/springboard/post_watch.h"

#include <fmt/format.h>

#include <cstdio>

#include "platform/couria/couria.h"
#include "platform/couria/panel.h"
#include "platform/foundation/log.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/alert.h"
#include "platform/springboard/app_list.h"

namespace hosts {

namespace {

class LoggingAlertPresenter final : public platform::springboard::AlertPresenter {
 public:
  void present(const platform::springboard::Alert& alert) override {
    std::string buttons;
    for (auto& b : alert.buttons) buttons += (buttons.empty() ? "" : ", ") + b;
    platform::foundation::NSLog(
        "SpringBoard: alert shown: title=\"{}\" message=\"{}\" buttons=[{}]",
        alert.title.value_or(""), alert.message.value_or(""), buttons);
  }
};

}  // namespace

void registerSpringboardServices() {
  installPostWatch();
  platform::runtime::registerClass(std::make_shared<platform::couria::CouriaClass>());
  platform::springboard::setAlertPresenter(std::make_shared<LoggingAlertPresenter>());
  registerApplicationServices();
  platform::runtime::registerClass(std::make_shared<platform::springboard::ALApplicationListClass>(
      platform::springboard::makeDeviceApplicationList()));
}

std::map<std::string, platform::runtime::HostRequestHandler> springboardRequestHandlers() {
  auto handlers = applicationRequestHandlers();
  handlers.merge(springboardAlertRequestHandlers());
  handlers["bulletin"] = platform::couria::answerBulletinRequest;
  return handlers;
}

}  // namespace hosts

// --- Alerts shown, for the command line and tests ---

namespace hosts {

namespace {

std::vector<platform::springboard::Alert>& alertsShown() {
  static std::vector<platform::springboard::Alert> alerts;
  return alerts;
}

// Shows each alert in the terminal as a small panel and keeps it, then hands
// it on to the presenter it replaced (which writes it to the log).
class RecordingAlertPresenter final : public platform::springboard::AlertPresenter {
 public:
  explicit RecordingAlertPresenter(std::shared_ptr<AlertPresenter> next) : next_(std::move(next)) {}
  void present(const platform::springboard::Alert& alert) override {
    std::string buttons;
    for (auto& b : alert.buttons) buttons += "[ " + b + " ] ";
    std::string text = fmt::format("+--- alert ---\n| {}\n| {}\n| {}\n+-------------\n",
                                   alert.title.value_or(""), alert.message.value_or(""), buttons);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    alertsShown().push_back(alert);
    if (next_) next_->present(alert);
  }

 private:
  std::shared_ptr<AlertPresenter> next_;
};

platform::foundation::Dictionary alertsAnswer(const platform::foundation::Dictionary&) {
  platform::foundation::Array list;
  for (const auto& a : alertsShown()) list.push_back(alertValue(a));
  return {{"alerts", platform::foundation::Value(std::move(list))}};
}

}  // namespace

const std::vector<platform::springboard::Alert>& shownAlerts() { return alertsShown(); }

platform::foundation::Value alertValue(const platform::springboard::Alert& a) {
  using platform::foundation::Value;
  platform::foundation::Dictionary d;
  if (a.title) d["title"] = Value(*a.title);
  if (a.message) d["message"] = Value(*a.message);
  platform::foundation::Array buttons;
  for (const auto& b : a.buttons) buttons.push_back(Value(b));
  d["buttons"] = Value(std::move(buttons));
  return Value(std::move(d));
}

void recordSpringboardAlerts() {
  auto previous = platform::springboard::setAlertPresenter(nullptr);
  platform::springboard::setAlertPresenter(
      std::make_shared<RecordingAlertPresenter>(std::move(previous)));
}

std::map<std::string, platform::runtime::HostRequestHandler> springboardAlertRequestHandlers() {
  return {{"alerts", alertsAnswer}};
}

}  // namespace hosts
