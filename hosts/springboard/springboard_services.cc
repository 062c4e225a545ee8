#include "hosts/springboard/springboard_services.h"

#include "hosts/springboard/application_services.h"

#include <fmt/format.h>

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
  platform::runtime::registerClass(std::make_shared<platform::couria::CouriaClass>());
  platform::springboard::setAlertPresenter(std::make_shared<LoggingAlertPresenter>());
  registerApplicationServices();
  platform::runtime::registerClass(std::make_shared<platform::springboard::ALApplicationListClass>(
      platform::springboard::makeDeviceApplicationList()));
}

std::map<std::string, platform::runtime::HostRequestHandler> springboardRequestHandlers() {
  auto handlers = applicationRequestHandlers();
  handlers["bulletin"] = platform::couria::answerBulletinRequest;
  return handlers;
}

}  // namespace hosts
