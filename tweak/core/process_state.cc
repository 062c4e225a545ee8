#include "tweak/core/process_state.h"

namespace tweak {

namespace {

// The one process-wide variable of the tweak. Held through a pointer so that
// a reset makes a whole new state: no member can be forgotten.
std::unique_ptr<ProcessState>& stateSlot() {
  static std::unique_ptr<ProcessState> state = std::make_unique<ProcessState>();
  return state;
}

}  // namespace

ProcessState& processState() { return *stateSlot(); }

void resetProcessState() { stateSlot() = std::make_unique<ProcessState>(); }

}  // namespace tweak
