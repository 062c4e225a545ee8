// The springboard host: the home-screen process of the simulated device. It
// provides Couria and shows alerts, then loads the tweaks meant for it.
#include "hosts/springboard/springboard_services.h"
#include "platform/runtime/host.h"

int main(int argc, char** argv) {
  return platform::runtime::runHost(argc, argv,
                                    {.bundleIdentifier = "com.apple.springboard",
                                     .processName = "SpringBoard",
                                     .registerClasses =
                                         [] {
                                           hosts::registerSpringboardServices();
                                           hosts::recordSpringboardAlerts();
                                         },
                                     .afterLoad = nullptr,
                                     .requestHandlers = hosts::springboardRequestHandlers,
                                     .beforeExit = nullptr});
}
