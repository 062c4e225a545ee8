// The wrapper against real database files in a scratch folder: failures come
// back as values, or through a connection's handler after the clean-up, and
// every file operation can be failed once through the Calls port.
#include "sqlite/statement.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/foundation/testing/scratch_folder.h"
#include "sqlite/testing/failing_calls.h"

namespace sqlite {
namespace {

using testing::FailingCalls;

class SqliteWrapper : public ::testing::Test {
 protected:
  void SetUp() override {
    Connection db = Connection::open(file_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_TRUE(
        db.execute("CREATE TABLE T (K INTEGER PRIMARY KEY, V TEXT);"
                   "INSERT INTO T VALUES (1, 'one'), (2, NULL), (3, 'three');"));
  }

  // Every value of column V, keys ascending, "NULL" for NULL, through `db`.
  static std::string values(Connection& db) {
    Statement s(db, "SELECT V FROM T ORDER BY K");
    std::string out;
    while (s.step()) out += (out.empty() ? "" : ",") + s.text(0).value_or("NULL");
    return out;
  }

  // Opens the file with a handler that throws the failure's three parts.
  Connection throwing(Calls& calls, int flags = SQLITE_OPEN_READONLY) {
    return Connection::open(file_, flags, calls, [](const Failure& f) {
      throw std::runtime_error(std::to_string(f.code) + "|" + f.what + "|" + f.message);
    });
  }

  platform::foundation::testing::ScratchFolder scratch_{"sqlite-test"};
  std::filesystem::path file_ = scratch_ / "t.db";
};

TEST_F(SqliteWrapper, ParametersAreBoundInOrderAndNullStaysNull) {
  Connection db = Connection::open(file_, SQLITE_OPEN_READWRITE);
  Statement insert(db, "INSERT INTO T VALUES (?1, ?2)");
  insert.bindAll({std::int64_t{4}, std::string("it's")}).run();
  insert.bindAll({std::int64_t{5}, std::monostate{}}).run();
  EXPECT_EQ(values(db), "one,NULL,three,it's,NULL");
  Statement select(db, "SELECT K FROM T WHERE V = ?1");
  select.bindAll({std::string("it's")});
  EXPECT_EQ(select.expandedSql(), "SELECT K FROM T WHERE V = 'it''s'");
  ASSERT_TRUE(select.step());
  EXPECT_EQ(select.integer(0), 4);
  EXPECT_FALSE(select.step());
  EXPECT_EQ(select.resultCode(), SQLITE_DONE);
}

TEST_F(SqliteWrapper, WithoutAHandlerEveryFailureIsAnsweredAsAValue) {
  Connection missing = Connection::open(scratch_ / "none.db", SQLITE_OPEN_READONLY);
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.resultCode(), SQLITE_CANTOPEN);
  EXPECT_EQ(missing.errorMessage(), "unable to open database file");
  Statement onMissing(missing, "SELECT 1");
  EXPECT_FALSE(onMissing);
  EXPECT_FALSE(onMissing.step());

  Connection db = Connection::open(file_, SQLITE_OPEN_READONLY);
  Statement bad(db, "SELECT missing FROM T");
  EXPECT_FALSE(bad);
  EXPECT_EQ(bad.resultCode(), SQLITE_ERROR);
  EXPECT_EQ(db.errorMessage(), "no such column: missing");
  EXPECT_FALSE(db.execute("INSERT INTO T VALUES (9, 'x')"));
  EXPECT_EQ(values(db), "one,NULL,three");
}

// A writer holds the file: the reader's step fails as busy, its statement is
// reset, and the same statement reads again once the writer is done.
TEST_F(SqliteWrapper, ABusyStepIsReportedAndTheStatementCanRunAgain) {
  Connection reader = Connection::open(file_, SQLITE_OPEN_READONLY);
  Statement s(reader, "SELECT COUNT(*) FROM T");
  Connection writer = Connection::open(file_, SQLITE_OPEN_READWRITE);
  ASSERT_TRUE(writer.execute("BEGIN EXCLUSIVE"));
  EXPECT_FALSE(s.step());
  EXPECT_EQ(s.resultCode(), SQLITE_BUSY);
  EXPECT_EQ(reader.errorMessage(), "database is locked");
  ASSERT_TRUE(writer.execute("COMMIT"));
  ASSERT_TRUE(s.step());
  EXPECT_EQ(s.integer(0), 3);
}

// Each of the four file operations, failed once through the port, reaches the
// handler with what was attempted and the code's own text.
TEST_F(SqliteWrapper, EachFileOperationCanBeFailedOnceThroughThePort) {
  using W = FailingCalls::Which;
  auto failure = [&](W which, int code, const std::function<void(Connection&)>& use) {
    FailingCalls calls(which, 1, code);
    try {
      Connection db = throwing(calls, SQLITE_OPEN_READWRITE);
      use(db);
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  auto read = [](Connection& db) { values(db); };
  EXPECT_EQ(failure(W::Open, SQLITE_CANTOPEN, read),
            "14|opening " + file_.string() + "|unable to open database file");
  EXPECT_EQ(failure(W::Prepare, SQLITE_IOERR, read),
            "10|preparing SELECT V FROM T ORDER BY K|disk I/O error");
  EXPECT_EQ(failure(W::Step, SQLITE_LOCKED, read),
            "6|running SELECT V FROM T ORDER BY K|database table is locked");
  EXPECT_EQ(failure(W::Exec, SQLITE_FULL, [](Connection& db) { db.execute("DELETE FROM T"); }),
            "13|executing DELETE FROM T|database or disk is full");
  // Nothing was changed by the failed calls, and the second call goes through.
  FailingCalls once(W::Step, 1, SQLITE_BUSY);
  Connection db = Connection::open(file_, SQLITE_OPEN_READONLY, once);
  EXPECT_EQ(values(db), "");
  EXPECT_EQ(db.errorMessage(), "database is locked");
  EXPECT_EQ(values(db), "one,NULL,three");
}

}  // namespace
}  // namespace sqlite
