// Figures over a run of timed replies, shared by the latency benchmarks.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace bench {

// The value at fraction `p` (0..1) of the sorted times; 0 for no times.
inline double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size() - 1) + 0.5));
  return v[i];
}

inline double ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The processor time this process has used so far, all its threads (ended ones
// included), in milliseconds: what a reply costs in battery, where wall time is
// what it costs in waiting.
inline double processCpuMs() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The ratios ours[i] / anchor[i] of pairs timed back to back: their median and
// range. A ratio of two medians taken apart follows whatever else the machine did
// meanwhile; a pair sees the same machine on both sides.
struct PairRatios {
  double median = 0;
  double min = 0;
  double max = 0;
};

inline PairRatios pairRatios(const std::vector<double>& ours, const std::vector<double>& anchor) {
  std::vector<double> r;
  for (std::size_t i = 0; i < std::min(ours.size(), anchor.size()); ++i) {
    if (anchor[i] > 0) r.push_back(ours[i] / anchor[i]);
  }
  if (r.empty()) return {};
  return {percentile(r, 0.5), *std::min_element(r.begin(), r.end()),
          *std::max_element(r.begin(), r.end())};
}

}  // namespace bench
