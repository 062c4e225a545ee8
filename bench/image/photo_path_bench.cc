// The photo path of the send request: decode a 12-megapixel camera JPEG carrying
// EXIF orientation 6, turn it upright, fit it into 1280 × 1280 and encode at 0.7,
// fit it into 750 × 1334 and encode at 0.4. Writing the two files is left out: the
// send request's atomic writes flush to disk, which measures the disk.
//
//   photo_path_bench [--fixtures=DIR] [benchmark flags]
//       runs the benchmarks (fixtures are made in DIR on first use)
//   photo_path_bench --fixtures=DIR --emit-fixtures
//       only writes the fixture files and prints their paths
//   photo_path_bench --fixtures=DIR --peak-memory=WIDTHxHEIGHT
//       runs the path once in this fresh process and prints its time and the peak
//       resident memory before and after, in KiB
//   photo_path_bench --fixtures=DIR --serve=WIDTHxHEIGHT
//       runs the path once for every line read from standard input and answers
//       each with its time in milliseconds: the warm side of the interleaved pairs
//       of bench/anchors.sh
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/image/photo_fixture.h"
#include "bench/process_memory.h"
#include "platform/foundation/file_io.h"
#include "platform/graphics/ui_image.h"
#include "tweak/extension/photo_attachment.h"

namespace {

using namespace platform::graphics;

std::filesystem::path gFixtures = std::filesystem::temp_directory_path() / "pxviber-bench";

struct Output {
  std::size_t fullBytes = 0;
  std::size_t previewBytes = 0;
};

Output photoPath(platform::foundation::Bytes data) {
  const auto jpegs = tweak::makeAttachmentJpegs(std::move(data), CGSizeMake(750, 1334));
  if (!jpegs) return {};
  return {jpegs->full.size(), jpegs->preview.size()};
}

void BM_PhotoPath(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const auto path = bench::photoFixture(gFixtures, w, h);
  Output out;
  for (auto _ : state) {
    // Reading the file is part of the path (the request reads the photo's URL).
    auto data = platform::foundation::readFile(path);
    out = photoPath(std::move(*data));
    benchmark::DoNotOptimize(out);
  }
  state.counters["full_bytes"] = double(out.fullBytes);
  state.counters["preview_bytes"] = double(out.previewBytes);
}
BENCHMARK(BM_PhotoPath)
    ->Args({4032, 3024})
    ->Args({3264, 2448})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

int serve(const std::string& size) {
  int w = 0, h = 0;
  if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2) return 2;
  const auto path = bench::photoFixture(gFixtures, w, h);
  char line[64];
  while (std::fgets(line, sizeof line, stdin)) {
    const auto start = std::chrono::steady_clock::now();
    auto data = platform::foundation::readFile(path);
    if (!data) return 1;
    const Output out = photoPath(std::move(*data));
    const double ms = millisecondsSince(start);
    if (out.fullBytes == 0 || out.previewBytes == 0) return 1;
    std::printf("%.3f\n", ms);
    std::fflush(stdout);
  }
  return 0;
}

int peakMemory(const std::string& size) {
  int w = 0, h = 0;
  if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2) return 2;
  const auto path = bench::photoFixture(gFixtures, w, h);
  auto data = platform::foundation::readFile(path);
  if (!data) return 1;
  // The photo's bytes are the input, read before the path starts (as the request
  // reads them from the URL); growth is what the path adds on top.
  if (!bench::resetPeak("self")) return 1;
  const long before = bench::statusKiB("self", "VmRSS");
  const auto start = std::chrono::steady_clock::now();
  const Output out = photoPath(std::move(*data));
  const double ms = millisecondsSince(start);
  const long after = bench::statusKiB("self", "VmHWM");
  std::printf("path_ms %.1f\n", ms);
  std::printf("peak_kib_before %ld\npeak_kib_after %ld\ngrowth_kib %ld\n", before, after,
              after - before);
  std::printf("decoded_bitmap_kib %ld\nfull_bytes %zu\npreview_bytes %zu\n", long(w) * h * 4 / 1024,
              out.fullBytes, out.previewBytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string memorySize, serveSize;
  bool emitOnly = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--fixtures=", 0) == 0) {
      gFixtures = arg.substr(11);
    } else if (arg.rfind("--peak-memory=", 0) == 0) {
      memorySize = arg.substr(14);
    } else if (arg.rfind("--serve=", 0) == 0) {
      serveSize = arg.substr(8);
    } else if (arg == "--emit-fixtures") {
      emitOnly = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  if (emitOnly) {
    for (auto [w, h] : {std::pair{4032, 3024}, std::pair{3264, 2448}}) {
      std::printf("%s\n", bench::photoFixture(gFixtures, w, h).c_str());
    }
    return 0;
  }
  if (!memorySize.empty()) return peakMemory(memorySize);
  if (!serveSize.empty()) return serve(serveSize);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
