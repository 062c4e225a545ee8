// UIAlertView: a system alert with a title, a message and buttons.
//
// Showing an alert hands it to the process's alert presenter, which the
// springboard host installs (it prints the alert and records it as an event);
// tests install a recording presenter. Alerts are fire-and-forget.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::springboard {

struct Alert {
  std::optional<std::string> title;
  std::optional<std::string> message;
  std::vector<std::string> buttons;  // the cancel button first, then the others
};

class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  virtual void present(const Alert& alert) = 0;
};

// Installs the presenter and answers the one it replaces.
std::shared_ptr<AlertPresenter> setAlertPresenter(std::shared_ptr<AlertPresenter> presenter);

class UIAlertView {
 public:
  // initWithTitle:message:delegate:cancelButtonTitle:otherButtonTitles: with no
  // delegate (this system never sets one).
  UIAlertView(std::optional<std::string> title, std::optional<std::string> message,
              std::optional<std::string> cancelButtonTitle,
              std::vector<std::string> otherButtonTitles = {});
  // Hands the alert to the presenter; without one, the alert is only logged.
  void show() const;
  const Alert& alert() const { return alert_; }

 private:
  Alert alert_;
};

}  // namespace platform::springboard
