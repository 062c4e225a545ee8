// Figures over a run of timed replies, shared by the latency benchmarks.
#pragma once

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

}  // namespace bench
