// One run of a reply's whole road, in one process, with both halves of the
// tweak: the springboard's send request, the messenger's passes (the take,
// the look-up, Viber's send through the simulated messenger's own methods and
// database, the read-back, the outcome, the removal), the alert relay and the
// springboard's deadline watch. Time is the fake run loop's; every file and
// database operation of the tweak goes through a FaultPorts with the run's
// plan of faults.
//
// A half that dies (a planned death) stops where it is; what it held in
// memory (its timers, its pictures in flight, the captured manager or the
// extension) is dropped, and it starts again on the next turn of the run loop
// as the phone starts it: the messenger runs its pass of launch, the
// springboard watches the deadlines of the queue.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/fault_explorer/fault_ports.h"

namespace fault_explorer {

// Conversations of the sample database.
enum class Chat { Alice, Bob };

struct Reply {
  Chat chat;
  std::string text;
};

struct Scenario {
  std::string name;
  std::vector<Reply> replies;
};

// What became of a run, for the invariant.
struct RunResult {
  std::vector<Call> calls;            // every port call, in order
  std::vector<std::string> happened;  // the planned faults that came to pass
  std::vector<std::string> broken;    // what broke the invariant; empty when it held
  bool endedByDeadline = false;       // a reply stayed until its deadline
};

// Runs `scenario` with `plan` and checks the invariant: each reply the
// springboard handed over is delivered exactly once (its copies in the
// conversation) or failed exactly once with one alert naming it; a reply the
// springboard could not hand over is told once and never sent; the five
// settings are still in the file; nothing is left pending.
RunResult runRoad(const Scenario& scenario, const std::vector<Fault>& plan);

}  // namespace fault_explorer
