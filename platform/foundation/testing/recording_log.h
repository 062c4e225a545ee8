// A log sink for tests: records every message in memory while it is installed.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/log.h"

namespace platform::foundation::testing {

class RecordingLog {
 public:
  RecordingLog() : sink_(std::make_shared<Sink>()) { previous_ = setLogSink(sink_); }
  ~RecordingLog() { setLogSink(previous_); }
  RecordingLog(const RecordingLog&) = delete;
  RecordingLog& operator=(const RecordingLog&) = delete;

  std::vector<std::string> lines() const {
    std::lock_guard lock(sink_->mutex);
    return sink_->lines;
  }
  // The lines that begin with `prefix`, in order.
  std::vector<std::string> linesStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (auto& l : lines()) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }
  bool contains(const std::string& line) const {
    auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }
  void clear() {
    std::lock_guard lock(sink_->mutex);
    sink_->lines.clear();
  }

 private:
  struct Sink : LogSink {
    void write(std::string_view message) override {
      std::lock_guard lock(mutex);
      lines.emplace_back(message);
    }
    mutable std::mutex mutex;
    std::vector<std::string> lines;
  };
  std::shared_ptr<Sink> sink_;
  std::shared_ptr<LogSink> previous_;
};

}  // namespace platform::foundation::testing
