// The database-manager capture: the tweak library's first load-time routine.
//
// Inside the messenger it replaces twelve instance methods of the class
// "DBManager". The three initialisers keep the manager they produce as the
// captured manager, the one process-wide strong reference that the send
// executor reads; the other nine write trace lines and then do exactly what the
// displaced implementation does. Each replacement calls the implementation it
// displaced with the same receiver and arguments. In a process without the
// class (the springboard) nothing is replaced.
//
// The replacements run on the thread the messenger calls its manager from; the
// captured manager is swapped and read without a lock (main thread only).
#pragma once

#include <memory>

namespace platform::messenger {
class DBManager;
}

namespace tweak {

// Writes "PXVIBER: ctor", looks up "DBManager" and installs the replacements in
// the order of its table (init, initInLightweightMode, initWithAddressBook:,
// the seven conversation getters, the text send, mark-as-read).
void installDBManagerCapture();

// The manager of the latest initialisation through any of the three
// initialisers (process_state.h); null before the first one and after one that
// answered nil. Nothing in the library clears it.
std::shared_ptr<platform::messenger::DBManager> capturedManager();

}  // namespace tweak
