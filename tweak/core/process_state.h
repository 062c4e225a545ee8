// Everything the tweak keeps for the life of its process, in one object.
//
// The phone gives each process that loads the tweak its own copy: the
// settings values, the bundle identifier, the cached data container of Viber,
// and, in the springboard, the nickname table, in the messenger the captured
// manager. Beside them sit what the queue of replies keeps between calls (the
// settled entry point still to run, the pictures being sent, the two timers)
// and the ports the process's operations go through, which tests replace.
// Each subsystem reads and writes its own members through its own functions
// (settings(), capturedManager()...); nothing else touches them.
//
// resetProcessState() puts every member back as a freshly loaded library has
// it, in one call: tests call it before and after each test. Main thread,
// except where a member says otherwise.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "sqlite/sqlite_calls.h"
#include "tweak/core/earliest_timer.h"
#include "tweak/core/file_operations.h"
#include "tweak/core/preferences.h"

namespace platform::messenger {
class DBManager;
}

namespace tweak {

class MessageStore;

// Conversation identifier -> the sender's name of its latest notification.
using NicknameTable = std::map<std::string, std::string>;

struct ProcessState {
  // --- the process-wide values the tweak is made of ---
  SettingsValues settings;                          // preferences.h
  std::optional<std::string> hostBundleIdentifier;  // bootstrap.h
  std::optional<std::string> viberAppPath;          // application_location.h, once found
  // db_manager_capture.h (messenger); written and read on the messenger's threads.
  std::shared_ptr<platform::messenger::DBManager> capturedManager;
  std::optional<NicknameTable> nicknames;  // conversation_message.h (springboard)

  // --- what the queue of replies keeps between calls ---
  // The role's settled entry point, until the first settings load runs it.
  std::function<void()> settled;
  // The requests whose picture completion has not been handled yet (messenger).
  std::set<std::string> picturesInFlight;
  std::optional<EarliestTimer> retryTimer;     // the messenger's next pass
  std::optional<EarliestTimer> deadlineTimer;  // the springboard's next deadline
  // The last part of new request identifiers; any thread.
  std::atomic<unsigned> requestCounter{0};

  // --- where the process's operations go ---
  // The queue's clock, seconds since 1970; empty: the system clock.
  std::function<double()> clock;
  FileOperations* files = &deviceFileOperations();
  sqlite::Calls* sqlite = &sqlite::systemCalls();
  // How the messenger reads its database back; empty: the conversation
  // store's file (message_store.h).
  std::function<std::unique_ptr<MessageStore>(platform::messenger::DBManager&)> openMessageStore;
};

ProcessState& processState();

// Replaces the state with a fresh one: timers cancelled, references dropped,
// the ports back to the device's.
void resetProcessState();

}  // namespace tweak
