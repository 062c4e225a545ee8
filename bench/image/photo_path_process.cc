// The photo path in a process of its own, without the benchmark library: the
// process that the interleaved pairs of bench/anchors.sh set beside djpeg.
//
//   photo_path_process --fixtures=DIR --emit-fixtures
//       writes the fixture files and prints their paths
//   photo_path_process --fixtures=DIR --once=WIDTHxHEIGHT
//       runs the path once in this fresh process and prints its wall and
//       processor time and the resident memory before and at the peak, in KiB
//   photo_path_process --fixtures=DIR --serve=WIDTHxHEIGHT
//       runs the path once for every line read from standard input and answers
//       each with its wall and processor time in milliseconds, "WALL CPU" (a
//       warm process)
//
// The fixture's file is read inside the timed path, as the request reads the
// photo's URL; in --once the process's whole run is what the pairs time.
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/image/photo_fixture.h"
#include "bench/image/photo_path.h"
#include "bench/latency_stats.h"
#include "bench/process_memory.h"

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

bool parseSize(const std::string& size, int* w, int* h) {
  return std::sscanf(size.c_str(), "%dx%d", w, h) == 2 && *w > 0 && *h > 0;
}

int serve(const std::filesystem::path& fixtures, int w, int h) {
  const auto path = bench::photoFixture(fixtures, w, h);
  char line[64];
  while (std::fgets(line, sizeof line, stdin)) {
    const double cpuBefore = bench::processCpuMs();
    const auto start = std::chrono::steady_clock::now();
    const auto out = bench::photoPath(path);
    const double ms = millisecondsSince(start);
    const double cpu = bench::processCpuMs() - cpuBefore;
    if (out.fullBytes == 0 || out.previewBytes == 0) return 1;
    std::printf("%.3f %.3f\n", ms, cpu);
    std::fflush(stdout);
  }
  return 0;
}

int once(const std::filesystem::path& fixtures, int w, int h) {
  const auto path = bench::photoFixture(fixtures, w, h);
  // Growth is what the path adds to the process, reading the photo included.
  if (!bench::resetPeak("self")) return 1;
  const long before = bench::statusKiB("self", "VmRSS");
  const double cpuBefore = bench::processCpuMs();
  const auto start = std::chrono::steady_clock::now();
  const auto out = bench::photoPath(path);
  const double ms = millisecondsSince(start);
  const double cpu = bench::processCpuMs() - cpuBefore;
  const long after = bench::statusKiB("self", "VmHWM");
  if (out.fullBytes == 0 || out.previewBytes == 0) return 1;
  std::printf("path_ms %.1f\npath_cpu_ms %.1f\n", ms, cpu);
  std::printf("peak_kib_before %ld\npeak_kib_after %ld\ngrowth_kib %ld\n", before, after,
              after - before);
  std::printf("decoded_bitmap_kib %ld\nfull_bytes %zu\npreview_bytes %zu\n", long(w) * h * 4 / 1024,
              out.fullBytes, out.previewBytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path fixtures = std::filesystem::temp_directory_path() / "pxviber-bench";
  std::string mode, size;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto eq = arg.find('=');
    const std::string key = arg.substr(0, eq),
                      value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (key == "--fixtures") {
      fixtures = value;
    } else if (key == "--once" || key == "--serve" || key == "--emit-fixtures") {
      mode = key, size = value;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (mode == "--emit-fixtures") {
    for (auto [w, h] : {std::pair{4032, 3024}, std::pair{3264, 2448}}) {
      std::printf("%s\n", bench::photoFixture(fixtures, w, h).c_str());
    }
    return 0;
  }
  int w = 0, h = 0;
  if (mode.empty() || !parseSize(size, &w, &h)) {
    std::fprintf(stderr, "give --emit-fixtures, --once=WxH or --serve=WxH\n");
    return 2;
  }
  return mode == "--once" ? once(fixtures, w, h) : serve(fixtures, w, h);
}
