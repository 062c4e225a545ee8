#include "platform/foundation/log.h"

#include <fcntl.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/foundation/error.h"

namespace platform::foundation {

namespace {

// An spdlog sink that appends each formatted line to a file with one write(2)
// on an O_APPEND descriptor: the kernel places each write at the end of the
// file atomically, so lines of concurrent processes never mix.
class AppendFileSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit AppendFileSink(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw SystemError("open system log " + path.string(), errno);
  }
  ~AppendFileSink() override { ::close(fd_); }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(msg, formatted);
    // A short write of a log line is not retried: a partial second write could
    // interleave with another process's line, which is worse than a cut line.
    [[maybe_unused]] ssize_t n = ::write(fd_, formatted.data(), formatted.size());
  }
  void flush_() override {}

 private:
  int fd_ = -1;
};

class SpdlogSink final : public LogSink {
 public:
  explicit SpdlogSink(std::shared_ptr<spdlog::logger> logger) : logger_(std::move(logger)) {}
  void write(std::string_view message) override { logger_->info("{}", message); }

 private:
  std::shared_ptr<spdlog::logger> logger_;
};

class StderrSink final : public LogSink {
 public:
  void write(std::string_view message) override {
    std::string line(message);
    line += '\n';
    [[maybe_unused]] ssize_t n = ::write(2, line.data(), line.size());
  }
};

std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<LogSink>& currentSink() {
  static std::shared_ptr<LogSink> sink = std::make_shared<StderrSink>();
  return sink;
}

}  // namespace

void NSLog(std::string_view message) {
  std::shared_ptr<LogSink> sink;
  {
    std::lock_guard lock(sinkMutex());
    sink = currentSink();
  }
  if (sink) sink->write(message);
}

std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink) {
  std::lock_guard lock(sinkMutex());
  std::swap(currentSink(), sink);
  return sink;
}

std::shared_ptr<LogSink> makeDeviceLog(const std::filesystem::path& syslogFile,
                                       const std::string& processName) {
  auto file = std::make_shared<AppendFileSink>(syslogFile);
  auto err = std::make_shared<spdlog::sinks::stderr_sink_mt>();
  auto logger = std::make_shared<spdlog::logger>("device", spdlog::sinks_init_list{file, err});
  // "Dec 08 15:13:03.120 SpringBoard[4242]: message", the phone's syslog shape.
  logger->set_pattern("%b %d %H:%M:%S.%e " + processName + "[%P]: %v");
  logger->set_level(spdlog::level::trace);
  return std::make_shared<SpdlogSink>(std::move(logger));
}

}  // namespace platform::foundation
