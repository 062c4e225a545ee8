// The photo path of the send request in Google Benchmark: decode a 12-megapixel
// camera JPEG carrying EXIF orientation 6, turn it upright, fit it into 1280 × 1280
// and encode at 0.7, fit it into 750 × 1334 and encode at 0.4. Writing the two
// files is left out: the send request's atomic writes flush to disk, which
// measures the disk. Beside the wall time, the CPU time is the whole process's
// (both threads of the path). The ratios against the image tools come from
// photo_path_process (bench/anchors.sh).
//
//   photo_path_bench [--fixtures=DIR] [benchmark flags]
//       runs the benchmarks (fixtures are made in DIR on first use)
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/image/photo_fixture.h"
#include "bench/image/photo_path.h"
#include "platform/foundation/file_io.h"

namespace {

std::filesystem::path gFixtures = std::filesystem::temp_directory_path() / "pxviber-bench";

void BM_PhotoPath(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const auto path = bench::photoFixture(gFixtures, w, h);
  bench::PhotoPathOutput out;
  for (auto _ : state) {
    // Reading the file is part of the path (the request reads the photo's URL).
    out = bench::photoPath(path);
    benchmark::DoNotOptimize(out);
  }
  state.counters["full_bytes"] = double(out.fullBytes);
  state.counters["preview_bytes"] = double(out.previewBytes);
}
BENCHMARK(BM_PhotoPath)
    ->Args({4032, 3024})
    ->Args({3264, 2448})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--fixtures=", 0) == 0) {
      gFixtures = arg.substr(11);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
