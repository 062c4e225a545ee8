// The messenger host: the Viber app of the simulated device. It provides the
// class "DBManager" over its database, loads the tweaks meant for it, then
// creates its manager as the app does at launch.
#include "hosts/viber/messenger_services.h"
#include "platform/runtime/host.h"

int main(int argc, char** argv) {
  platform::runtime::HostConfig config;
  config.bundleIdentifier = "com.viber";
  config.processName = "Viber";
  config.registerClasses = hosts::registerMessengerServices;
  config.afterLoad = hosts::startMessenger;
  config.requestHandlers = hosts::messengerRequestHandlers;
  return platform::runtime::runHost(argc, argv, config);
}
