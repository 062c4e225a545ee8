// An alert presenter for tests: records every alert shown while installed.
#pragma once

#include <memory>
#include <vector>

#include "platform/springboard/alert.h"

namespace platform::springboard::testing {

class RecordingAlerts {
 public:
  RecordingAlerts() : sink_(std::make_shared<Sink>()) { previous_ = setAlertPresenter(sink_); }
  ~RecordingAlerts() { setAlertPresenter(previous_); }
  RecordingAlerts(const RecordingAlerts&) = delete;
  RecordingAlerts& operator=(const RecordingAlerts&) = delete;

  const std::vector<Alert>& shown() const { return sink_->alerts; }

 private:
  struct Sink : AlertPresenter {
    void present(const Alert& alert) override { alerts.push_back(alert); }
    std::vector<Alert> alerts;
  };
  std::shared_ptr<Sink> sink_;
  std::shared_ptr<AlertPresenter> previous_;
};

}  // namespace platform::springboard::testing
