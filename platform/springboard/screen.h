// UIScreen: the main screen's bounds in points and its scale, from the device's
// settings (375 × 667 points at scale 2 unless the device says otherwise).
#pragma once

namespace platform::springboard {

struct ScreenBounds {
  double width = 0;
  double height = 0;
};

class UIScreen {
 public:
  // [UIScreen mainScreen], read from the device settings at each call.
  static UIScreen mainScreen();
  ScreenBounds bounds() const { return bounds_; }
  double scale() const { return scale_; }

 private:
  ScreenBounds bounds_;
  double scale_ = 1;
};

}  // namespace platform::springboard
