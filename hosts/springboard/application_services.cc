#include "hosts/springboard/application_services.h"

#include "hosts/springboard/reply_service.h"

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/process_applications.h"

namespace hosts {

namespace springboard = platform::springboard;
using platform::foundation::Dictionary;
using platform::foundation::Value;

namespace {

std::shared_ptr<springboard::ProcessApplications>& applications() {
  static std::shared_ptr<springboard::ProcessApplications> apps;
  return apps;
}

std::string stringArgument(const Dictionary& request, const char* name) {
  const Value* v = platform::foundation::find(request, name);
  if (!v || !v->asString()) throw platform::Error(std::string("missing ") + name);
  return *v->asString();
}

Dictionary stateAnswer(const std::string& id) {
  int state = applications()->stateOf(id);
  auto app = applications()->applicationWithBundleIdentifier(id);
  if (!app) app = applications()->applicationWithDisplayIdentifier(id);
  std::string name = app ? app->_stringForApplicationState(state).value_or("") : "not installed";
  return {{"state", Value(state)}, {"name", Value(name)}};
}

}  // namespace

void registerApplicationServices() {
  auto settings = platform::foundation::loadDeviceSettings();
  applications() = springboard::makeProcessApplications(
      *platform::runloop::mainRunLoop(), settings.iosVersion, settings.backgroundSeconds);
  platform::runtime::registerClass(
      std::make_shared<springboard::SBApplicationControllerClass>(applications()));
  springboard::setSharedApplication(applications());
}

std::map<std::string, platform::runtime::HostRequestHandler> applicationRequestHandlers() {
  return {
      {"app",
       [](const Dictionary& request) {
         std::string action = stringArgument(request, "action");
         std::string id = stringArgument(request, "identifier");
         bool ok = true;
         if (action == "activate") {
           ok = applications()->activate(id);
         } else if (action == "suspend") {
           ok = applications()->suspend(id);
         } else if (action == "background") {
           ok = applications()->background(id);
         } else if (action != "state") {
           throw platform::Error("unknown app action " + action);
         }
         if (!ok)
           throw platform::Error("cannot " + action + " " + id + " (not installed or not running)");
         return stateAnswer(id);
       }},
      {"reply", answerReply}};
}

std::vector<std::string> applicationActions() { return applications()->actions(); }

}  // namespace hosts
