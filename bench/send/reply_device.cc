#include "bench/send/reply_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

#include <cstdlib>
#include <utility>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/null_log.h"
#include "platform/foundation/testing/remove_tree.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/app_list.h"
#include "platform/springboard/applications.h"
#include "platform/springboard/process_applications.h"
#include "platform/viberdb/viber_database.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tweak/core/preferences.h"

namespace bench {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
namespace springboard = platform::springboard;

LogFollower::LogFollower(const fs::path& file) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0 || ::inotify_add_watch(fd_, file.c_str(), IN_MODIFY) < 0)
    throw platform::SystemError("inotify on " + file.string(), errno);
  // Held open and read with pread: no open per read. O_NOATIME (where the
  // owner allows it): no access-time update, a journal write, per read.
  logFd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (logFd_ < 0 && errno == EPERM) logFd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (logFd_ < 0) {
    int error = errno;
    ::close(fd_);
    throw platform::SystemError("open " + file.string(), error);
  }
  struct stat st {};
  if (::fstat(logFd_, &st) == 0) offset_ = std::uintmax_t(st.st_size);
}

LogFollower::~LogFollower() {
  ::close(fd_);
  ::close(logFd_);
}

std::optional<Clock::time_point> LogFollower::waitFor(const std::string& text,
                                                      std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (takeLine(text)) return Clock::now();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    waitForGrowth(left);
  }
}

std::vector<std::string> LogFollower::nextLines(std::chrono::milliseconds timeout) {
  waitForGrowth(timeout);
  readMore();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = pending_.substr(start, end - start);
    if (line.find("Viber[") != std::string::npos) lines.push_back(std::move(line));
  }
  pending_.erase(0, start);
  return lines;
}

void LogFollower::waitForGrowth(std::chrono::milliseconds timeout) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, int(timeout.count()) + 1) > 0) {
    char events[4096];
    while (::read(fd_, events, sizeof events) > 0) {
    }
  }
}

// Consumes complete lines read so far; answers whether one from the messenger
// holds `text` (lines after it stay for the next wait).
bool LogFollower::takeLine(const std::string& text) {
  readMore();
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string_view line(pending_.data() + start, end - start);
    if (line.find("Viber[") != std::string_view::npos &&
        line.find(text) != std::string_view::npos) {
      pending_.erase(0, end + 1);
      return true;
    }
  }
  pending_.erase(0, start);
  return false;
}

void LogFollower::readMore() {
  char buffer[8192];
  for (;;) {
    ssize_t n = ::pread(logFd_, buffer, sizeof buffer, off_t(offset_));
    if (n <= 0) break;
    offset_ += size_t(n);
    pending_.append(buffer, size_t(n));
  }
}

namespace {

// Adds one-to-one chats with numbers of their own; answers their keys.
std::vector<std::string> addConversations(const fs::path& database, int count) {
  auto db = platform::viberdb::ViberDatabase::open(database);
  std::vector<std::string> keys;
  db.transaction([&] {
    for (int i = 0; i < count; ++i) {
      auto number = db.addPhoneNumber("+1555019" + std::to_string(1000 + i), std::nullopt);
      keys.push_back(std::to_string(db.addConversation({std::nullopt, std::nullopt, {number}})));
    }
  });
  return keys;
}

}  // namespace

ReplyDevice::ReplyDevice(int extraConversations) {
  const char* dir = std::getenv("PXVIBER_BENCH_DIR");
  std::string tmpl = std::string(dir ? dir : "/tmp") + "/reply-bench-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw platform::SystemError("mkdtemp", errno);
  parent_ = tmpl;
  root_ = parent_ / "device";
  auto viber = pxviber::createDevice(root_, {.iosVersion = 9});
  database_ = viber.dataContainer / platform::viberdb::kDatabaseRelativePath;
  const auto& s = *viber.sample;
  for (auto key : {s.zoeChat, s.aliceChat, s.bobChat, s.weekendGroup, s.bookClub}) {
    conversations_.push_back(std::to_string(key));
  }
  for (auto& key : addConversations(database_, extraConversations)) conversations_.push_back(key);
  foundation::setDeviceRoot(root_);
  foundation::writeDictionaryFileAtomically(tweak::preferencesPath(),
                                            {{"debugMode", foundation::Value(true)}});
  pxviber::startDevice(root_);
  {
    // Ready means more than running: the messenger's settings are loaded
    // (debugMode on, for the lines the benchmarks follow) at the first
    // delivery of the preferences notification.
    LogFollower log(foundation::hostPath(foundation::kSyslogDevicePath));
    pxviber::launchHost(root_, "viber");
    if (!log.waitFor("PXVIBER: preferences reloaded", std::chrono::seconds(20))) {
      throw platform::Error("the messenger did not load its settings");
    }
  }

  loop_ = platform::runloop::makeEventRunLoop();
  platform::runloop::setMainRunLoop(loop_);
  center_ = pxviber::joinDeviceBus(root_, *loop_);
  platform::notify::setDarwinNotifyCenter(center_);
  platform::runtime::registerClass(std::make_shared<springboard::ALApplicationListClass>(
      springboard::makeDeviceApplicationList()));
  // A background time far beyond the run: the messenger is not stopped again
  // between replies.
  applications_ = springboard::makeProcessApplications(*loop_, 9, 24 * 3600);
  platform::runtime::registerClass(
      std::make_shared<springboard::SBApplicationControllerClass>(applications_));
  springboard::setSharedApplication(applications_);
  // This side's own lines are not part of the measurement.
  previousLog_ = foundation::setLogSink(std::make_shared<foundation::testing::NullLog>());
  tweak::settings().debugMode = false;
}

ReplyDevice::~ReplyDevice() {
  foundation::setLogSink(previousLog_);
  springboard::setSharedApplication(nullptr);
  platform::runtime::unregisterAllClasses();
  platform::notify::setDarwinNotifyCenter(nullptr);
  center_.reset();
  platform::runloop::setMainRunLoop(nullptr);
  try {
    pxviber::stopDevice(root_);
  } catch (const std::exception&) {
  }
  if (std::string left = foundation::testing::removeTree(parent_); !left.empty()) {
    std::fprintf(stderr, "%s\n", left.c_str());
  }
}

fs::path ReplyDevice::syslog() const { return foundation::hostPath(foundation::kSyslogDevicePath); }

fs::path ReplyDevice::database() const { return database_; }

void ReplyDevice::drain() {
  bool once = false;
  loop_->runUntil([&] { return std::exchange(once, true); }, platform::runloop::Seconds(0.001));
}

}  // namespace bench
