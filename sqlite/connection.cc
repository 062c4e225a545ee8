#include "sqlite/connection.h"

#include <utility>

#include "sqlite/connection_shared.h"

namespace sqlite {

namespace {

// A failure's "what" names the statement; a schema of many statements is cut
// to its start.
constexpr std::size_t kQuotedSqlBytes = 80;

}  // namespace

Connection Connection::open(const std::filesystem::path& path, int flags, Calls& calls,
                            FailureHandler onFailure) {
  auto shared = std::make_unique<Shared>();
  shared->calls = &calls;
  shared->onFailure = std::move(onFailure);
  int code = calls.open(path.c_str(), flags, &shared->db);
  if (code != SQLITE_OK) {
    // The message belongs to the handle the open gave back: read it first.
    shared->openCode = code;
    std::string message = shared->messageFor(code);
    sqlite3_close(std::exchange(shared->db, nullptr));
    shared->fail(code, "opening " + path.string(), std::move(message));
  }
  return Connection(std::move(shared));
}

Connection::Connection(std::unique_ptr<Shared> shared) : shared_(std::move(shared)) {}

Connection::Connection(Connection&& other) noexcept = default;

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    if (shared_) sqlite3_close(shared_->db);
    shared_ = std::move(other.shared_);
  }
  return *this;
}

Connection::~Connection() {
  if (shared_) sqlite3_close(shared_->db);
}

Connection::operator bool() const { return shared_ && shared_->db; }

int Connection::resultCode() const { return shared_ ? shared_->openCode : SQLITE_MISUSE; }

std::string Connection::errorMessage() const {
  return shared_ ? shared_->lastMessage : sqlite3_errstr(SQLITE_MISUSE);
}

void Connection::setBusyTimeout(int milliseconds) {
  if (*this) sqlite3_busy_timeout(shared_->db, milliseconds);
}

bool Connection::isReadOnly() const {
  return *this && sqlite3_db_readonly(shared_->db, "main") == 1;
}

bool Connection::execute(std::string_view sql) {
  if (!*this) return false;
  std::string text(sql);
  int code = shared_->calls->exec(shared_->db, text.c_str());
  if (code == SQLITE_OK) return true;
  shared_->fail(code, "executing " + text.substr(0, kQuotedSqlBytes));
  return false;
}

sqlite3* Connection::handle() const { return shared_ ? shared_->db : nullptr; }

}  // namespace sqlite
