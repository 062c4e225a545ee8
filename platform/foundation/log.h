// The system log (NSLog).
//
// Every line goes to the process's log sink. A host installs the device log at
// start: the device's system log file "/private/var/log/syslog" (one line per call,
// carrying the time, the process name and the pid, appended with a single write
// so that the lines of several processes never interleave) and standard error.
// Before a host installs one, lines go to standard error alone. Tests install a
// recording sink (platform/foundation/testing/recording_log.h).
//
// Any thread may log; a sink serialises its own writes.
#pragma once

#include <fmt/format.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace platform::foundation {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // Writes one message. The message is the text of one NSLog call, without a
  // line end; it may itself contain line breaks.
  virtual void write(std::string_view message) = 0;
};

// Writes one message to the current sink.
void NSLog(std::string_view message);

template <class... Args>
void NSLog(fmt::format_string<Args...> format, Args&&... args) {
  NSLog(std::string_view(fmt::format(format, std::forward<Args>(args)...)));
}

// Installs `sink` for the whole process and answers the one it replaces.
std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink);

// The device log: appends to `syslogFile` (creating its folder) and copies each
// line to standard error. Throws platform::Error when the file cannot be opened.
std::shared_ptr<LogSink> makeDeviceLog(const std::filesystem::path& syslogFile,
                                       const std::string& processName);

// The device path of the system log file.
inline constexpr const char* kSyslogDevicePath = "/private/var/log/syslog";

}  // namespace platform::foundation
