// Every reply exactly once and in order, on real hosts: replies to a database
// held by another writer, damaged requests beside good ones, a read-back that
// fails once, and the settings file read by a second, independent reader.
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/foundation/device.h"
#include "tests/queue_road.h"
#include "tweak/core/preferences.h"
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
    sqlite3_busy_timeout(db, HeldDatabase::kWriterPatienceMs);
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
  HeldDatabase database = holdViberDatabase();
  ASSERT_TRUE(database.held());
  std::vector<std::string> ids;
  ids.push_back(reply({{"text", Value("order one")}}));
  // The messenger's send gave up on the lock: the first waits for its retry.
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: send request " + ids[0] + " not sent yet"));
  ids.push_back(reply({{"text", Value("order two")}}));
  ids.push_back(reply({{"text", Value("order three")}}));
  ASSERT_TRUE(database.release());
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

// The reply follows its own request: an outcome planted under a larger
// identifier (or one left by a clock set back) is not taken for it.
TEST_F(ExactlyOnce, ReplyWaitFollowsItsOwnRequestAndTakesOnlyAFiniteWait) {
  startDevice();
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  auto planted = foundation::updateDictionaryFile(
      foundation::hostPathIn(root_, tweak::kPreferencesDevicePath), [](Dictionary& d) {
        tweak::Outcome o{"ffffffffffffffff-1-ffff",
                         "1",
                         "Reply to conversation 1: \"not mine\"",
                         true,
                         4242,
                         std::nullopt,
                         1};
        d[tweak::key::requestOutcomes] = Value(foundation::Array{tweak::toValue(o)});
      });
  ASSERT_TRUE(planted.written);
  std::string output;
  EXPECT_EQ(
      pxviber("reply --root " + root_.string() + " --text 'mine, not planted' --wait 30", &output),
      0)
      << output;
  EXPECT_EQ(output.find("4242"), std::string::npos) << output;
  auto keys = platform::messenger::readMessagesReadOnly(
      viber_.dataContainer / "Documents/Contacts.data", sample_.aliceChat);
  const Value* key = foundation::find(keys.back(), "key");
  ASSERT_TRUE(key);
  EXPECT_NE(output.find("delivered (message key " + key->description() + ")"), std::string::npos)
      << output;
  for (const char* wait : {"-1", "inf", "1e300", "nan", "soon"}) {
    EXPECT_EQ(
        pxviber("reply --root " + root_.string() + " --text 'never sent' --wait " + wait, &output),
        2)
        << wait;
    EXPECT_NE(output.find("a number of seconds from 0 to"), std::string::npos) << output;
  }
  EXPECT_TRUE(aliceTexts("never sent").empty());
}

// Text that is not UTF-8, and characters no XML property list can hold, never
// reach the settings file: the command line's request to the springboard is a
// property list too, and carries them as U+FFFD (the springboard refuses a
// reply that still holds control characters: SendRequest tests). A sender's
// name with them is written without them. The whole settings file stays
// readable to Python's plistlib.
TEST_F(ExactlyOnce, TheSettingsFileStaysReadableToASecondReaderWhateverIsTyped) {
  startDevice();
  launchViber();
  app("activate");
  pxviber::NotificationContent note;
  note.token = std::to_string(sample_.aliceLatestToken);
  note.text = "Bell\x07Name: a message";
  ASSERT_EQ(showBulletin(pxviber::makeBulletin(note)), std::to_string(sample_.aliceChat));
  std::string output;
  // The shell passes the bytes as they are.
  EXPECT_EQ(
      pxviber("reply --root " + root_.string() + " --text 'caf\xe9" + " \x01' --wait 30", &output),
      0)
      << output;
  EXPECT_EQ(aliceTexts("caf"), std::vector<std::string>{"caf\xEF\xBF\xBD \xEF\xBF\xBD"});
  auto file = foundation::hostPathIn(root_, tweak::kPreferencesDevicePath);
  auto outcomes = tweak::readOutcomes(pxviber::readSettingsFile(root_));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].reply.rfind("Reply to Bell\xEF\xBF\xBDName", 0), 0u) << outcomes[0].reply;
  std::string check = "python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],\"rb\"))' " +
                      file.string() + " 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0);
}

// Ten thousand entries that cannot be replies, between two good requests: one
// pass ends every damaged entry with its outcome and sends the good ones once;
// the springboard's own write meanwhile keeps what it has not judged. How long
// the pass takes is measured by send_latency_bench (BM_PassOverDamagedQueue).
TEST_F(ExactlyOnce, TenThousandDamagedEntriesEndOnceAndTheGoodOnesGoOutOnce) {
  auto good = [&](const std::string& id) {
    return Value(Dictionary{{"requestID", Value(id)},
                            {"created", Value(tweak::queueNow())},
                            {"conversationID", Value(std::to_string(sample_.aliceChat))},
                            {"messageText", Value("good " + id)}});
  };
  foundation::Array queue{good("good-first")};
  for (int i = 0; i < 10000; ++i) {
    if (i % 2) {
      queue.push_back(Value(Dictionary{{"requestID", Value("bad-" + std::to_string(i))},
                                       {"conversationID", Value(true)},
                                       {"messageText", Value(i)}}));
    } else {
      queue.push_back(Value("garbage " + std::to_string(i)));
    }
  }
  queue.push_back(good("good-last"));
  startDevice({{"showAlerts", Value(true)}, {tweak::key::pendingRequests, Value(queue)}});
  launchViber();
  for (const char* id : {"good-first", "good-last"}) {
    auto o = outcome(id, 60);
    ASSERT_TRUE(o && o->delivered) << id;
  }
  EXPECT_EQ(aliceTexts("good "), (std::vector<std::string>{"good good-first", "good good-last"}));
  auto file = pxviber::readSettingsFile(root_);
  auto left = tweak::readQueue(file);
  EXPECT_TRUE(left.pending.empty());
  EXPECT_TRUE(left.damaged.empty());
  ASSERT_TRUE(waitForMessageFrom("SpringBoard", "SpringBoard: alert shown"));
  auto shown = alerts();
  ASSERT_EQ(shown.size(), 1u);
  const Value* replies = foundation::find(shown[0], "message");
  ASSERT_TRUE(replies);
  EXPECT_NE(replies->description().find("and 9980 more"), std::string::npos)
      << replies->description();
}

// A request whose text is not text (a damaged file, a writer of another
// version) is ended by the messenger once: one failed outcome, one alert,
// nothing handed to Viber and nothing left to try, however often it is told
// to send again.
TEST_F(ExactlyOnce, ATextThatIsNotTextEndsOnceAndIsNeverSent) {
  const std::size_t before = sent(sample_.aliceChat).size();
  Dictionary request{{"requestID", Value("not-text")},
                     {"created", Value(tweak::queueNow())},
                     {"conversationID", Value(std::to_string(sample_.aliceChat))},
                     {"messageText", Value(42)}};
  startDevice({{"showAlerts", Value(true)},
               {tweak::key::pendingRequests, Value(foundation::Array{Value(request)})}});
  launchViber();
  auto o = outcome("not-text", 30);
  ASSERT_TRUE(o);
  EXPECT_FALSE(o->delivered);
  EXPECT_EQ(o->reason.value_or(""), "Unable to read the reply. Message not sent.");
  for (int i = 0; i < 3; ++i) post("org.northquay.parlexviber.sendMessage");
  ping("Viber");
  ASSERT_TRUE(waitForMessageFrom("SpringBoard", "SpringBoard: alert shown"));
  EXPECT_EQ(alerts().size(), 1u);
  auto file = pxviber::readSettingsFile(root_);
  auto left = tweak::readQueue(file);
  EXPECT_TRUE(left.pending.empty());
  EXPECT_TRUE(left.damaged.empty());
  auto outcomes = tweak::readOutcomes(file);
  EXPECT_EQ(std::count_if(outcomes.begin(), outcomes.end(),
                          [](const tweak::Outcome& x) { return x.requestID == "not-text"; }),
            1);
  EXPECT_EQ(sent(sample_.aliceChat).size(), before);
}

}  // namespace
}  // namespace tests
