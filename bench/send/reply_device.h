// A scratch iOS 9 device for the reply benchmarks, started, with the messenger
// ("viber", with the tweak loaded) running in the background and debugMode on
// in its settings; this process holds the springboard's side: the application
// list over the device, the applications over real processes (so the extension
// finds the messenger in the background and resumes it, as on the phone) and
// the device's bus. PXVIBER_BENCH_DIR picks where the device lives (/tmp by
// default; /dev/shm leaves the disk's flushes out).
//
// LogFollower follows the device's system log as it grows (inotify), for the
// moments the messenger writes its lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::foundation {
class LogSink;
}
namespace platform::notify {
class NotifyCenter;
}
namespace platform::runloop {
class RunLoop;
}
namespace platform::springboard {
class ProcessApplications;
}

namespace bench {

using Clock = std::chrono::steady_clock;

class LogFollower {
 public:
  explicit LogFollower(const std::filesystem::path& file);
  ~LogFollower();
  LogFollower(const LogFollower&) = delete;
  LogFollower& operator=(const LogFollower&) = delete;

  // Reads on until a line from the messenger holds `text`; answers the moment
  // it was seen, or nullopt after `timeout`. Lines after it stay for the next wait.
  std::optional<Clock::time_point> waitFor(const std::string& text,
                                           std::chrono::milliseconds timeout);
  // Waits up to `timeout` for more of the log; answers the complete lines from
  // the messenger read meanwhile.
  std::vector<std::string> nextLines(std::chrono::milliseconds timeout);

 private:
  bool takeLine(const std::string& text);
  void readMore();
  void waitForGrowth(std::chrono::milliseconds timeout);

  int fd_ = -1;     // inotify
  int logFd_ = -1;  // the log, read from offset_ on
  std::uintmax_t offset_ = 0;
  std::string pending_;
};

class ReplyDevice {
 public:
  // `extraConversations` one-to-one chats are added to the sample database.
  explicit ReplyDevice(int extraConversations = 0);
  ~ReplyDevice();
  ReplyDevice(const ReplyDevice&) = delete;
  ReplyDevice& operator=(const ReplyDevice&) = delete;

  std::filesystem::path syslog() const;
  std::filesystem::path database() const;
  // The conversations of the device: the sample's five, then the extra ones.
  const std::vector<std::string>& conversations() const { return conversations_; }
  platform::springboard::ProcessApplications& applications() { return *applications_; }
  // Handles what the bus brought meanwhile, without waiting.
  void drain();

 private:
  std::filesystem::path parent_;
  std::filesystem::path root_;
  std::filesystem::path database_;
  std::vector<std::string> conversations_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
  std::shared_ptr<platform::springboard::ProcessApplications> applications_;
  std::shared_ptr<platform::foundation::LogSink> previousLog_;
};

}  // namespace bench
