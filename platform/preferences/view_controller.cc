#include "platform/preferences/view_controller.h"

namespace platform::preferences {

namespace {

CGRect& pageFrame() {
  static CGRect frame = CGRectMake(0, 0, 375, 603);
  return frame;
}

}  // namespace

UIView& UIViewController::view() { return *viewObject(); }

std::shared_ptr<UIView> UIViewController::viewObject() {
  if (!view_) {
    loadView();
    if (!view_) view_ = std::make_shared<UIView>(defaultPageFrame());
    viewDidLoad();
  }
  return view_;
}

void UIViewController::loadView() { view_ = std::make_shared<UIView>(defaultPageFrame()); }

ViewControllerClass::~ViewControllerClass() = default;

CGRect defaultPageFrame() { return pageFrame(); }
void setDefaultPageFrame(CGRect frame) { pageFrame() = frame; }

std::shared_ptr<UIViewController> createViewController(std::string_view className) {
  auto* cls = runtime::lookUpClass<ViewControllerClass>(className);
  return cls ? cls->create() : nullptr;
}

}  // namespace platform::preferences
