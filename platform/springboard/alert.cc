#include "platform/springboard/alert.h"

#include "platform/foundation/log.h"

namespace platform::springboard {

namespace {

std::shared_ptr<AlertPresenter>& presenterSlot() {
  static std::shared_ptr<AlertPresenter> presenter;
  return presenter;
}

}  // namespace

std::shared_ptr<AlertPresenter> setAlertPresenter(std::shared_ptr<AlertPresenter> presenter) {
  std::swap(presenterSlot(), presenter);
  return presenter;
}

UIAlertView::UIAlertView(std::optional<std::string> title, std::optional<std::string> message,
                         std::optional<std::string> cancelButtonTitle,
                         std::vector<std::string> otherButtonTitles) {
  alert_.title = std::move(title);
  alert_.message = std::move(message);
  if (cancelButtonTitle) alert_.buttons.push_back(*cancelButtonTitle);
  for (auto& b : otherButtonTitles) alert_.buttons.push_back(std::move(b));
}

void UIAlertView::show() const {
  if (auto presenter = presenterSlot()) {
    presenter->present(alert_);
  } else {
    foundation::NSLog("UIAlertView: {} / {}", alert_.title.value_or(""),
                      alert_.message.value_or(""));
  }
}

}  // namespace platform::springboard
