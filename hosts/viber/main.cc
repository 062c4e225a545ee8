// The messenger host: the Viber app of the simulated device.
#include "platform/runtime/host.h"

int main(int argc, char** argv) {
  return platform::runtime::runHost(argc, argv,
                                    {.bundleIdentifier = "com.viber",
                                     .processName = "Viber",
                                     .registerClasses = nullptr,
                                     .afterLoad = nullptr,
                                     .requestHandlers = nullptr,
                                     .beforeExit = nullptr});
}
