// A springboard and a messenger of different versions of the tweak side by
// side, on real hosts: one of them runs ParlexforViberFourKey.so, a test double
// of an earlier version that knows only the four request keys
// (four_key_tweak/four_key_tweak.h). See docs/versions.md for what each
// pairing does.
#include <signal.h>

#include "platform/foundation/file_io.h"
#include "tests/queue_road.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/preferences.h"

namespace tests {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

constexpr const char* kSpringboard = "com.apple.springboard";
constexpr const char* kMessenger = "com.viber";

class Versions : public QueueRoad {
 protected:
  fs::path tweaks() const { return root_ / "Library/MobileSubstrate/DynamicLibraries"; }

  void filter(const std::string& name, const std::vector<std::string>& bundles) {
    foundation::Array list;
    for (const auto& b : bundles) list.push_back(Value(b));
    ASSERT_TRUE(foundation::writeDictionaryFileAtomically(
        tweaks() / (name + ".plist"), {{"Filter", Value(Dictionary{{"Bundles", Value(list)}})}}));
  }

  // The process with `bundle` loads the earlier version from its next start;
  // the other keeps this one.
  void earlierVersionIn(const std::string& bundle) {
    fs::copy_file(pxviber::programFolder().parent_path() / "lib/ParlexforViberFourKey.so",
                  tweaks() / "ParlexforViberFourKey.so", fs::copy_options::overwrite_existing);
    filter("ParlexforViberFourKey", {bundle});
    filter("ParlexforViber", {bundle == kMessenger ? kSpringboard : kMessenger});
  }

  // Both load this version from their next start.
  void thisVersionEverywhere() {
    fs::remove(tweaks() / "ParlexforViberFourKey.plist");
    filter("ParlexforViber", {kSpringboard, kMessenger});
  }

  // Kills the messenger and lets the springboard launch it again.
  void relaunchMessenger(int pid) {
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(waitFor([&] { return !pxviber::runningPid(root_, "Viber"); }));
    app("activate");
  }

  int copies(const std::string& text) {
    auto texts = sent(sample_.aliceChat);
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
  }

  Dictionary file() { return pxviber::readSettingsFile(root_); }
};

// This springboard, an earlier messenger, then the messenger updated while
// the queue holds requests: the earlier messenger takes the four keys of each
// reply and sends it. Each request stays in the queue (the second typed while
// the first is still there), where a messenger of this version launched
// later finds them in the database: no second copy, no alert, and each
// outcome is delivered.
TEST_F(Versions, RepliesAnEarlierMessengerSentAreNotSentAgainByTheNextOne) {
  earlierVersionIn(kMessenger);
  startDevice();
  int viber = launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  const std::vector<std::string> texts{"sent by the earlier messenger", "and its second"};
  std::vector<std::string> ids;
  for (const auto& text : texts) {
    ids.push_back(reply({{"text", Value(text)}}));
    ASSERT_FALSE(ids.back().empty());
    ASSERT_TRUE(waitFor([&] { return copies(text) == 1; })) << text;
  }
  EXPECT_EQ(foundation::find(file(), tweak::key::conversationID), nullptr);
  EXPECT_EQ(tweak::readQueue(file()).pending.size(), 2u);
  thisVersionEverywhere();
  relaunchMessenger(viber);
  for (const auto& id : ids) {
    auto o = outcome(id, 30);
    ASSERT_TRUE(o) << id;
    EXPECT_TRUE(o->delivered) << id;
  }
  for (const auto& text : texts) EXPECT_EQ(copies(text), 1) << text;
  EXPECT_TRUE(alerts().empty());
  EXPECT_TRUE(tweak::readQueue(file()).pending.empty());
}

// With no messenger of this version to look, the springboard takes the request
// out at its deadline, saying who took it, and shows no alert: the earlier
// messenger took it and told of its own failures.
TEST_F(Versions, AReplyAnEarlierMessengerTookIsNotReportedLate) {
  earlierVersionIn(kMessenger);
  startDevice({{tweak::key::requestDeadlineSeconds, Value(2)}});
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  std::string id = reply({{"text", Value("taken, then the deadline")}});
  ASSERT_FALSE(id.empty());
  auto o = outcome(id, 30);
  ASSERT_TRUE(o);
  EXPECT_EQ(o->reason, tweak::kTakenByEarlierText);
  EXPECT_EQ(copies("taken, then the deadline"), 1);
  EXPECT_TRUE(alerts().empty());
}

// An earlier springboard, this messenger: the request in the four keys alone
// is taken into the queue, sent once, and the keys removed.
TEST_F(Versions, AReplyOfAnEarlierSpringboardIsSentOnceByThisMessenger) {
  earlierVersionIn(kSpringboard);
  startDevice();
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  reply({{"text", Value("from the earlier springboard")}});
  ASSERT_TRUE(waitFor([&] {
    return foundation::find(file(), tweak::key::conversationID) == nullptr &&
           copies("from the earlier springboard") == 1 && !tweak::readOutcomes(file()).empty();
  }));
  EXPECT_TRUE(tweak::readOutcomes(file()).back().delivered);
  EXPECT_EQ(copies("from the earlier springboard"), 1);
}

// An earlier springboard left a reply in the four keys while no messenger
// could take it (Viber cannot be started); after the update, this
// springboard's next reply, made while Viber still cannot be started, takes
// it into the queue first instead of writing over it. Once Viber runs, both
// go out once, in the order typed.
TEST_F(Versions, AFourKeyRequestAndANewReplyAreBothSentOnceInOrder) {
  earlierVersionIn(kSpringboard);
  startDevice();
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  // Viber's program is away: the springboard finds the app but cannot start it.
  fs::rename(viber_.bundle / "Viber", viber_.bundle / "Viber.away");
  reply({{"text", Value("left in the four keys")}});
  EXPECT_EQ(*foundation::find(file(), tweak::key::messageText), Value("left in the four keys"));
  thisVersionEverywhere();
  restartDevice();
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  std::string id = reply({{"text", Value("typed after the update")}});
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(tweak::readQueue(file()).pending.size(), 2u);
  fs::rename(viber_.bundle / "Viber.away", viber_.bundle / "Viber");
  app("activate");
  auto o = outcome(id, 30);
  ASSERT_TRUE(o && o->delivered);
  std::vector<std::string> ours;
  for (const auto& t : sent(sample_.aliceChat)) {
    if (t == "left in the four keys" || t == "typed after the update") ours.push_back(t);
  }
  EXPECT_EQ(ours, (std::vector<std::string>{"left in the four keys", "typed after the update"}));
  EXPECT_TRUE(alerts().empty());
}

// An earlier springboard, this messenger, then the springboard updated while
// the queue holds a request: this messenger took the earlier springboard's
// reply into the queue, and it waits for Viber's database, held by another
// writer. After the update a reply typed to the same conversation waits
// behind it; both go out once, in the order typed.
TEST_F(Versions, AnAdoptedRequestWaitingForTheDatabaseGoesOutBeforeAReplyTypedAfterTheUpdate) {
  earlierVersionIn(kSpringboard);
  startDevice();
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  HeldDatabase database = holdViberDatabase();
  ASSERT_TRUE(database.held());
  reply({{"text", Value("typed before the update")}});
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: send request "));
  auto queued = tweak::readQueue(file()).pending;
  ASSERT_EQ(queued.size(), 1u);
  std::string adopted = queued[0].requestID;
  thisVersionEverywhere();
  restartDevice();
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  std::string id = reply({{"text", Value("typed after the update")}});
  ASSERT_FALSE(id.empty());
  ASSERT_TRUE(database.release());
  for (const auto& which : {adopted, id}) {
    auto o = outcome(which, 90);
    ASSERT_TRUE(o && o->delivered) << which;
  }
  std::vector<std::string> ours;
  for (const auto& t : sent(sample_.aliceChat)) {
    if (t == "typed before the update" || t == "typed after the update") ours.push_back(t);
  }
  EXPECT_EQ(ours, (std::vector<std::string>{"typed before the update", "typed after the update"}));
  EXPECT_TRUE(alerts().empty());
}

}  // namespace
}  // namespace tests
