// The long run of the fault explorer (./run explore): pairs of faults over
// every scenario, the three replies to one conversation included.
//
//   fault_explorer [--singles] [--every N] [--damaged-file]
//
// --damaged-file adds the locked update that reads the file as damaged.
// Prints each scenario's count of fault points and of runs that broke the
// invariant, names each such run, and exits 1 when there was one.
#include <fmt/format.h>

#include <cstdlib>
#include <string>

#include "tests/fault_explorer/explorer.h"

int main(int argc, char** argv) {
  fault_explorer::Options options{.pairs = true};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--singles") {
      options.pairs = false;
    } else if (a == "--damaged-file") {
      options.damagedFile = true;
    } else if (a == "--every" && i + 1 < argc) {
      options.every = std::max(1, std::atoi(argv[++i]));
    } else {
      fmt::print(stderr, "usage: fault_explorer [--singles] [--every N] [--damaged-file]\n");
      return 2;
    }
  }
  fault_explorer::keepDevicesInMemory();
  int points = 0;
  size_t violations = 0;
  for (const auto& scenario : fault_explorer::scenarios(true)) {
    auto e = fault_explorer::explore(scenario, options);
    points += e.points;
    violations += e.violations.size();
    fmt::print("{}: {} fault points, {} broke the invariant, {} waited for a deadline\n",
               scenario.name, e.points, e.violations.size(), e.byDeadline.size());
    for (const auto& w : e.byDeadline) fmt::print("  waited for a deadline: {}\n", w);
    for (const auto& v : e.violations) fmt::print("  VIOLATION {} | {}\n", v.faults, v.broken);
    std::fflush(stdout);
  }
  fmt::print("fault explorer ({}): {} fault points explored, {} broke the invariant\n",
             options.pairs ? "pairs of faults" : "single faults", points, violations);
  return violations ? 1 : 0;
}
