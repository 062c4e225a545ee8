#include "tests/fault_explorer/explorer.h"

#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>

namespace fault_explorer {

std::vector<Fault> faultPoints(const std::vector<Call>& calls, const Options& options, int after) {
  std::vector<Fault> out;
  for (size_t i = static_cast<size_t>(after); i < calls.size(); ++i) {
    const Call& c = calls[i];
    for (FailureKind kind : kindsFor(c.op)) {
      if (kind == FailureKind::ReadDamaged && !options.damagedFile) continue;
      out.push_back(Fault{Fault::Type::Fail, static_cast<int>(i) + 1, kind});
    }
    out.push_back(Fault{Fault::Type::DieBefore, c.ofHalf, FailureKind::WriteFailed, c.half});
    out.push_back(Fault{Fault::Type::DieAfter, c.ofHalf, FailureKind::WriteFailed, c.half});
  }
  return out;
}

namespace {

// The global number of the call at which `fault` strikes in a run that made `calls`.
int strikesAt(const Fault& fault, const std::vector<Call>& calls) {
  if (fault.type == Fault::Type::Fail) return fault.call;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].half == fault.half && calls[i].ofHalf == fault.call)
      return static_cast<int>(i) + 1;
  }
  return static_cast<int>(calls.size());
}

void count(Exploration& e, const Scenario& scenario, const RunResult& run,
           const std::vector<Fault>& plan) {
  ++e.points;
  std::string faults;
  for (const auto& h : run.happened) faults += (faults.empty() ? "" : ", ") + h;
  if (faults.empty()) {
    for (const auto& f : plan) faults += (faults.empty() ? "" : ", ") + f.name() + " (never came)";
  }
  if (run.endedByDeadline) e.byDeadline.push_back(faults);
  if (run.broken.empty()) return;
  std::string broken;
  for (const auto& b : run.broken) broken += (broken.empty() ? "" : "; ") + b;
  e.violations.push_back({scenario.name, faults, broken});
}

}  // namespace

void keepDevicesInMemory() {
  std::error_code ec;
  if (!std::getenv("TMPDIR") && std::filesystem::is_directory("/dev/shm", ec)) {
    setenv("TMPDIR", "/dev/shm", 1);
  }
}

Exploration explore(const Scenario& scenario, const Options& options) {
  Exploration e;
  RunResult clean = runRoad(scenario, {});
  if (!clean.broken.empty()) {
    std::string broken;
    for (const auto& b : clean.broken) broken += (broken.empty() ? "" : "; ") + b;
    e.violations.push_back({scenario.name, "no fault", broken});
  }
  for (const Fault& first : faultPoints(clean.calls, options)) {
    RunResult one = runRoad(scenario, {first});
    count(e, scenario, one, {first});
    if (!options.pairs) continue;
    int n = 0;
    for (const Fault& second : faultPoints(one.calls, options, strikesAt(first, clean.calls))) {
      if (n++ % options.every) continue;
      // A death of the half that already died before the same own call is the same run.
      if (second.type != Fault::Type::Fail && first.type != Fault::Type::Fail &&
          second.half == first.half && second.call == first.call)
        continue;
      count(e, scenario, runRoad(scenario, {first, second}), {first, second});
    }
  }
  return e;
}

std::vector<Scenario> scenarios(bool more) {
  std::vector<Scenario> out = {
      {"one text", {{Chat::Alice, "On my way"}}},
      {"two equal texts", {{Chat::Alice, "Yes"}, {Chat::Alice, "Yes"}}},
      {"two conversations", {{Chat::Alice, "See you at six"}, {Chat::Bob, "Running late"}}},
  };
  if (more) {
    out.push_back(
        {"three replies to one conversation",
         {{Chat::Alice, "order one"}, {Chat::Alice, "order two"}, {Chat::Alice, "order three"}}});
  }
  return out;
}

}  // namespace fault_explorer
