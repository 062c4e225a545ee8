// The fault explorer: runs a scenario once with no fault to list every call
// its road makes through the two ports, then once per fault point, and
// checks the invariant after each run (road.h).
//
// Single faults: each call fails once with each kind that applies to it
// (fault_ports.h), and each half dies just before and just after each of its
// own calls. Pairs: after each single fault, every single fault at a later
// call of that run's own road.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/fault_explorer/road.h"

namespace fault_explorer {

struct Violation {
  std::string scenario;
  std::string faults;  // the fault points, as they came to pass
  std::string broken;  // what broke, joined by "; "
};

struct Exploration {
  int points = 0;  // runs with a fault
  // The runs in which a reply waited for its deadline: their faults.
  std::vector<std::string> byDeadline;
  std::vector<Violation> violations;
};

struct Options {
  bool pairs = false;  // pairs of faults, not single ones
  int every = 1;       // > 1: only every n-th second fault of a pair
  // The locked update reading the file as damaged (it then moves the file
  // aside, the settings and the queue with it, by design): left out unless asked.
  bool damagedFile = false;
};

// The single faults of a run that made `calls`, at its calls after number
// `after` (the global count).
std::vector<Fault> faultPoints(const std::vector<Call>& calls, const Options& options,
                               int after = 0);

// Puts the runs' device folders in memory (/dev/shm, where there is one)
// unless TMPDIR says where: each run's atomic writes are flushed, and on a
// disk the flushes take most of a run's time.
void keepDevicesInMemory();

// Explores `scenario`.
Exploration explore(const Scenario& scenario, const Options& options);

// The scenarios: one text, two equal texts to one conversation, two
// conversations; `more` adds three replies to one conversation.
std::vector<Scenario> scenarios(bool more);

}  // namespace fault_explorer
