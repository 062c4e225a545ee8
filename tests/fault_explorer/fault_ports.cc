#include "tests/fault_explorer/fault_ports.h"

#include <fmt/format.h>

#include <algorithm>

namespace fault_explorer {

namespace foundation = platform::foundation;

const char* halfName(Half half) { return half == Half::Springboard ? "springboard" : "messenger"; }

const char* kindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::LockFailed:
      return "lock failed";
    case FailureKind::ReadDamaged:
      return "read as damaged";
    case FailureKind::WriteFailed:
      return "write failed";
    case FailureKind::RenameFailed:
      return "rename failed";
    case FailureKind::ReadFailed:
      return "read failed";
    case FailureKind::AnswersNo:
      return "answers no";
    case FailureKind::OpenFailed:
      return "SQLITE_CANTOPEN";
    case FailureKind::Busy:
      return "SQLITE_BUSY";
    case FailureKind::Locked:
      return "SQLITE_LOCKED";
    case FailureKind::IoError:
      return "SQLITE_IOERR";
    case FailureKind::Full:
      return "SQLITE_FULL";
  }
  return "?";
}

std::vector<FailureKind> kindsFor(const std::string& op) {
  using K = FailureKind;
  if (op == "updateDictionary")
    return {K::LockFailed, K::ReadDamaged, K::WriteFailed, K::RenameFailed};
  if (op == "readDictionary") return {K::ReadFailed};
  if (op == "fileExists" || op == "isReadableFile") return {K::AnswersNo};
  if (op == "open") return {K::OpenFailed};
  if (op == "prepare" || op == "step" || op == "exec")
    return {K::Busy, K::Locked, K::IoError, K::Full};
  // syncFolder answers nothing a failure could change.
  return {};
}

std::string Fault::name() const {
  switch (type) {
    case Type::Fail:
      return fmt::format("call {} {}", call, kindName(kind));
    case Type::DieBefore:
      return fmt::format("{} dies before its call {}", halfName(half), call);
    case Type::DieAfter:
      return fmt::format("{} dies after its call {}", halfName(half), call);
  }
  return "?";
}

namespace {

int sqliteCode(FailureKind kind) {
  switch (kind) {
    case FailureKind::OpenFailed:
      return SQLITE_CANTOPEN;
    case FailureKind::Busy:
      return SQLITE_BUSY;
    case FailureKind::Locked:
      return SQLITE_LOCKED;
    case FailureKind::IoError:
      return SQLITE_IOERR;
    case FailureKind::Full:
      return SQLITE_FULL;
    default:
      return SQLITE_ERROR;
  }
}

// The first words of a statement, enough to tell the calls apart in a name.
std::string firstWords(std::string_view sql) {
  std::string s(sql.substr(0, 40));
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}

}  // namespace

FaultPorts::FaultPorts(std::vector<Fault> plan)
    : tweak::FileOperationsWrapper(tweak::deviceFileOperations()),
      sqlite::CallsWrapper(sqlite::systemCalls()),
      plan_(std::move(plan)),
      struck_(plan_.size(), false) {}

std::optional<FailureKind> FaultPorts::begin(const std::string& op, std::string detail) {
  if (calls_.size() >= kMostCallsOfARun) throw RunawayRoad{};
  int global = static_cast<int>(calls_.size()) + 1;
  int own = ++ofHalf_[static_cast<int>(current)];
  for (size_t i = 0; i < plan_.size(); ++i) {
    const Fault& f = plan_[i];
    if (!struck_[i] && f.type == Fault::Type::DieBefore && f.half == current && f.call == own) {
      struck_[i] = true;
      happened_.push_back(f.name() + " (" + op + " " + detail + ")");
      --ofHalf_[static_cast<int>(current)];
      throw ProcessDied{current};
    }
  }
  calls_.push_back(Call{current, own, op, std::move(detail)});
  for (const auto& f : plan_) {
    if (f.type == Fault::Type::Fail && f.call == global) {
      auto kinds = kindsFor(op);
      if (std::find(kinds.begin(), kinds.end(), f.kind) == kinds.end()) return std::nullopt;
      happened_.push_back(fmt::format("{} fails with {} ({} {}, {})", halfName(current),
                                      kindName(f.kind), op, calls_.back().detail, global));
      return f.kind;
    }
  }
  return std::nullopt;
}

void FaultPorts::end(const std::function<void()>& release) {
  const Call& last = calls_.back();
  for (size_t i = 0; i < plan_.size(); ++i) {
    const Fault& f = plan_[i];
    if (!struck_[i] && f.type == Fault::Type::DieAfter && f.half == last.half &&
        f.call == last.ofHalf) {
      struck_[i] = true;
      happened_.push_back(f.name() + " (" + last.op + " " + last.detail + ")");
      if (release) release();
      throw ProcessDied{last.half};
    }
  }
}

std::optional<foundation::Dictionary> FaultPorts::readDictionary(
    const std::filesystem::path& path) {
  auto failure = begin("readDictionary", path.filename().string());
  std::optional<foundation::Dictionary> out;
  if (!failure) out = FileOperationsWrapper::readDictionary(path);
  end();
  return out;
}

foundation::UpdateResult FaultPorts::updateDictionary(
    const std::filesystem::path& path, const std::function<void(foundation::Dictionary&)>& change,
    foundation::FolderSync folder) {
  auto failure = begin("updateDictionary", path.filename().string());
  foundation::UpdateResult out;
  if (!failure) {
    out = FileOperationsWrapper::updateDictionary(path, change, folder);
  } else if (*failure == FailureKind::LockFailed) {
    out.lockFailed = true;
  } else if (*failure == FailureKind::ReadDamaged) {
    // What the locked update does with a file it cannot read: moves it aside
    // and writes the change into an empty dictionary in its place.
    std::filesystem::path aside = path;
    aside += ".unreadable-explorer";
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    out = FileOperationsWrapper::updateDictionary(path, change, folder);
    if (!ec) out.keptAside = aside;
  }
  // WriteFailed, RenameFailed: nothing written, the old file in place.
  if (out.written) ++writes_[static_cast<int>(current)];
  end();
  return out;
}

void FaultPorts::syncFolder(const std::filesystem::path& path) {
  begin("syncFolder", path.parent_path().filename().string());
  FileOperationsWrapper::syncFolder(path);
  end();
}

bool FaultPorts::fileExists(const std::filesystem::path& path) {
  bool out =
      !begin("fileExists", path.filename().string()) && FileOperationsWrapper::fileExists(path);
  end();
  return out;
}

bool FaultPorts::isReadableFile(const std::filesystem::path& path) {
  bool out = !begin("isReadableFile", path.filename().string()) &&
             FileOperationsWrapper::isReadableFile(path);
  end();
  return out;
}

int FaultPorts::open(const char* path, int flags, sqlite3** db) {
  auto failure = begin("open", std::filesystem::path(path).filename().string());
  int out = failure ? sqliteCode(*failure) : CallsWrapper::open(path, flags, db);
  end([db] {
    sqlite3_close_v2(*db);
    *db = nullptr;
  });
  return out;
}

int FaultPorts::prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement) {
  auto failure = begin("prepare", firstWords(sql));
  int out = failure ? sqliteCode(*failure) : CallsWrapper::prepare(db, sql, statement);
  end([statement] {
    sqlite3_finalize(*statement);
    *statement = nullptr;
  });
  return out;
}

int FaultPorts::step(sqlite3_stmt* statement) {
  const char* sql = sqlite3_sql(statement);
  auto failure = begin("step", firstWords(sql ? sql : ""));
  int out = failure ? sqliteCode(*failure) : CallsWrapper::step(statement);
  end();
  return out;
}

int FaultPorts::exec(sqlite3* db, const char* sql) {
  auto failure = begin("exec", firstWords(sql));
  int out = failure ? sqliteCode(*failure) : CallsWrapper::exec(db, sql);
  end();
  return out;
}

}  // namespace fault_explorer
