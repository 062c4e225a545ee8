// The springboard host: the home-screen process of the simulated device. It
// provides Couria and shows alerts, then loads the tweaks meant for it.
#include "hosts/springboard/springboard_services.h"
#include "platform/runtime/host.h"

int main(int argc, char** argv) {
  platform::runtime::HostConfig config;
  config.bundleIdentifier = "com.apple.springboard";
  config.processName = "SpringBoard";
  config.registerClasses = [] {
    hosts::registerSpringboardServices();
    hosts::recordSpringboardAlerts();
  };
  config.requestHandlers = hosts::springboardRequestHandlers;
  return platform::runtime::runHost(argc, argv, config);
}
