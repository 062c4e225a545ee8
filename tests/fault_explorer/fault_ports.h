// The two ports of a reply's road (the tweak's file operations and its SQLite
// calls), wrapped so that every call is counted, named and attributed to the
// process half that made it, and so that a plan of faults can fail one call
// or end a process at a call.
//
// A run of the road installs one FaultPorts in the process state. The halves'
// entry points are wrapped in a ProcessScope, which says whose calls follow;
// a death planned for a process throws ProcessDied out of the call, and the
// scope that began the half's work catches it (it derives from nothing the
// tweak catches).
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "sqlite/sqlite_calls.h"
#include "tweak/core/file_operations.h"

namespace fault_explorer {

enum class Half { Springboard, Messenger };
const char* halfName(Half half);

// What a planned failure does to the call it fails.
enum class FailureKind {
  LockFailed,    // updateDictionary: the lock is not taken, nothing read or written
  ReadDamaged,   // updateDictionary: the file reads as damaged and is kept aside
  WriteFailed,   // updateDictionary: nothing written, the old file in place
  RenameFailed,  // the same through the port: the new file never takes the name
  ReadFailed,    // readDictionary: no dictionary
  AnswersNo,     // fileExists, isReadableFile: false
  OpenFailed,    // sqlite open: SQLITE_CANTOPEN
  Busy,          // sqlite prepare, step, exec: SQLITE_BUSY
  Locked,        // SQLITE_LOCKED
  IoError,       // SQLITE_IOERR
  Full,          // SQLITE_FULL
};
const char* kindName(FailureKind kind);

// One call through a port, as the recording saw it.
struct Call {
  Half half;
  int ofHalf;          // its number among its half's calls, from 1
  std::string op;      // "updateDictionary", "step"...
  std::string detail;  // the file name or the statement's first words
};

// The failure kinds that apply to a call of operation `op`.
std::vector<FailureKind> kindsFor(const std::string& op);

// One fault: a failure of the run's call number `call` (from 1), or the death
// of `half` just before or just after its call number `call` of its own.
struct Fault {
  enum class Type { Fail, DieBefore, DieAfter } type;
  int call;
  FailureKind kind = FailureKind::WriteFailed;  // Fail
  Half half = Half::Messenger;                  // DieBefore, DieAfter
  std::string name() const;
};

// Thrown out of a port call when a planned death comes.
struct ProcessDied {
  Half half;
};

// Thrown out of a port call when a run makes more calls than any road should
// (a half that never stops trying): the run ends and counts as broken.
struct RunawayRoad {};
inline constexpr size_t kMostCallsOfARun = 4000;

class FaultPorts final : public tweak::FileOperationsWrapper, public sqlite::CallsWrapper {
 public:
  explicit FaultPorts(std::vector<Fault> plan);

  // Whose calls follow (set by ProcessScope); calls made on a run loop turn
  // outside every scope are the messenger's (a picture's completion).
  Half current = Half::Messenger;

  const std::vector<Call>& calls() const { return calls_; }
  // The faults of the plan that came to pass.
  const std::vector<std::string>& happened() const { return happened_; }

  std::optional<platform::foundation::Dictionary> readDictionary(
      const std::filesystem::path& path) override;
  platform::foundation::UpdateResult updateDictionary(
      const std::filesystem::path& path,
      const std::function<void(platform::foundation::Dictionary&)>& change,
      platform::foundation::FolderSync folder) override;
  void syncFolder(const std::filesystem::path& path) override;
  bool fileExists(const std::filesystem::path& path) override;
  bool isReadableFile(const std::filesystem::path& path) override;

  int open(const char* path, int flags, sqlite3** db) override;
  int prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement) override;
  int step(sqlite3_stmt* statement) override;
  int exec(sqlite3* db, const char* sql) override;

  // How many locked updates of each half went through (written).
  int writes(Half half) const { return writes_[static_cast<int>(half)]; }

 private:
  // Counts the call; dies before it when planned; answers the failure planned
  // for it, if any.
  std::optional<FailureKind> begin(const std::string& op, std::string detail);
  // Dies after the call when planned, releasing first what the call handed
  // out (a dead process holds no database handle).
  void end(const std::function<void()>& release = {});

  std::vector<Fault> plan_;
  std::vector<bool> struck_;  // each fault strikes once
  std::vector<Call> calls_;
  std::vector<std::string> happened_;
  int ofHalf_[2] = {0, 0};
  int writes_[2] = {0, 0};
};

// Marks the calls made while it lives as `half`'s.
class ProcessScope {
 public:
  ProcessScope(FaultPorts& ports, Half half) : ports_(ports), previous_(ports.current) {
    ports.current = half;
  }
  ~ProcessScope() { ports_.current = previous_; }
  ProcessScope(const ProcessScope&) = delete;
  ProcessScope& operator=(const ProcessScope&) = delete;

 private:
  FaultPorts& ports_;
  Half previous_;
};

}  // namespace fault_explorer
