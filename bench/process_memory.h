// Helpers shared by the benchmark programs: a scratch folder and a process's
// resident memory.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/foundation/error.h"

namespace bench {

// A new folder "<prefix>-XXXXXX" in $PXVIBER_BENCH_DIR, or /tmp without it
// (/dev/shm leaves the disk's flushes out of what a benchmark measures).
inline std::filesystem::path scratchFolder(const std::string& prefix) {
  const char* dir = std::getenv("PXVIBER_BENCH_DIR");
  std::string tmpl = std::string(dir ? dir : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw platform::SystemError("mkdtemp", errno);
  return tmpl;
}

// A figure of /proc/<process>/status ("VmRSS", "VmHWM") in KiB; -1 when absent.
// `process` is a pid or "self".
inline long statusKiB(const std::string& process, const std::string& field) {
  std::ifstream status("/proc/" + process + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Starts the process's peak resident size (VmHWM) afresh from its current size;
// false when the kernel refuses. The peak that getrusage reports would not do: it
// starts a new program with the peak of the process it replaced, so a program
// started by a large parent shows that parent's size.
inline bool resetPeak(const std::string& process) {
  std::ofstream clear("/proc/" + process + "/clear_refs");
  clear << "5";
  clear.flush();
  return bool(clear);
}

}  // namespace bench
