#include "platform/springboard/screen.h"

#include "platform/foundation/device.h"

namespace platform::springboard {

UIScreen UIScreen::mainScreen() {
  auto settings = foundation::loadDeviceSettings();
  UIScreen screen;
  screen.bounds_ = {settings.screenWidth, settings.screenHeight};
  screen.scale_ = settings.screenScale;
  return screen;
}

}  // namespace platform::springboard
