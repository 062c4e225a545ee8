// No reply is lost: replies in quick succession, photos within one second, a
// messenger killed or blocked at the wrong moment, no messenger at all, a
// request in the old form and a mailbox that cannot be written, on real hosts.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "platform/foundation/property_list.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "platform/messenger/messenger_database.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "platform/springboard/bulletin.h"
#include "tests/device_fixture.h"
#include "tests/queue_road.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/outbox.h"
#include "tools/pxviber/push.h"

namespace tests {
namespace {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

TEST_F(QueueRoad, FiveRepliesToFiveConversationsAreAllSentInOrderOnce) {
  startDevice();
  std::vector<std::pair<std::int64_t, std::int64_t>> chats{
      {sample_.aliceLatestToken, sample_.aliceChat},
      {sample_.bobLatestToken, sample_.bobChat},
      {sample_.zoeLatestToken, sample_.zoeChat},
      {sample_.weekendLatestToken, sample_.weekendGroup},
      {sample_.bookClubLatestToken, sample_.bookClub}};
  std::vector<std::string> ids;
  for (size_t i = 0; i < chats.size(); ++i) {
    ASSERT_EQ(push(chats[i].first), std::to_string(chats[i].second));
    ids.push_back(reply({{"text", Value("quick reply " + std::to_string(i))}}));
    ASSERT_FALSE(ids.back().empty());
  }
  std::vector<std::int64_t> keys;
  for (const auto& id : ids) {
    auto o = outcome(id);
    ASSERT_TRUE(o && o->delivered) << id;
    keys.push_back(*o->messageKey);
  }
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  for (size_t i = 0; i < chats.size(); ++i) {
    auto texts = sent(chats[i].second);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "quick reply " + std::to_string(i)), 1) << i;
  }
  EXPECT_TRUE(alerts().empty());
}

TEST_F(QueueRoad, ThreePhotosWithinOneSecondEachGoOutWithTheirOwnPicture) {
  startDevice();
  launchViber();
  app("activate");
  std::vector<std::pair<std::int64_t, std::int64_t>> chats{
      {sample_.aliceLatestToken, sample_.aliceChat},
      {sample_.bobLatestToken, sample_.bobChat},
      {sample_.zoeLatestToken, sample_.zoeChat}};
  std::vector<fs::path> photos{photo(320, 200), photo(400, 200), photo(480, 200)};
  std::vector<std::string> ids;
  for (size_t i = 0; i < chats.size(); ++i) {
    ASSERT_EQ(push(chats[i].first), std::to_string(chats[i].second));
    ids.push_back(reply({{"photo", Value(photos[i].string())}}));
  }
  for (size_t i = 0; i < chats.size(); ++i) {
    auto o = outcome(ids[i]);
    ASSERT_TRUE(o && o->delivered) << ids[i];
    auto pictures = sent(chats[i].second);
    ASSERT_FALSE(pictures.empty());
    std::string name = pictures.back().substr(1, pictures.back().size() - 2);
    EXPECT_EQ(storedWidth(name), std::to_string(320 + 80 * i));
  }
}

// The messenger dies at some point of handling a request: before it took it, while
// sending, or after the message is stored but before its outcome is recorded. The
// messenger is stopped before the reply; the springboard sees it suspended and
// resumes it for the reply (as the phone does), and the kill lands wherever the
// resumed messenger has got to. Whatever the point, the next launch finishes the
// request and the conversation gets the reply once.
TEST_F(QueueRoad, AMessengerKilledWhileHandlingARequestSendsTheReplyOnceAfterTheNextLaunch) {
  startDevice();
  int viber = launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  ::kill(viber, SIGSTOP);
  std::string id = reply({{"text", Value("survives a crash")}});
  ASSERT_FALSE(id.empty());
  ::kill(viber, SIGKILL);
  ASSERT_TRUE(waitFor([&] { return !pxviber::runningPid(root_, "Viber"); }));
  app("activate");  // launches it again
  auto o = outcome(id);
  ASSERT_TRUE(o && o->delivered);
  auto texts = sent(sample_.aliceChat);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "survives a crash"), 1);
}

TEST_F(QueueRoad, ADatabaseHeldByAnotherWriterGetsTheReplyOnceItIsReleased) {
  startDevice();
  launchViber();
  app("activate");
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  HeldDatabase database = holdViberDatabase();
  ASSERT_TRUE(database.held());
  auto held = std::chrono::steady_clock::now();
  std::string id = reply({{"text", Value("waited for the lock")}});
  // The messenger's send gave up on the lock: the request waits for a retry.
  EXPECT_TRUE(waitForMessageFrom("Viber", "PXVIBER: send request " + id + " not sent yet"));
  std::this_thread::sleep_until(held + std::chrono::seconds(3));  // the hold itself
  ASSERT_TRUE(database.release());
  auto o = outcome(id);
  ASSERT_TRUE(o && o->delivered);
  auto texts = sent(sample_.aliceChat);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "waited for the lock"), 1);
  EXPECT_TRUE(alerts().empty());
}

TEST_F(QueueRoad, WithoutTheMessengerTheReplyWaitsUntilItsDeadlineThenOneAlertNamesIt) {
  startDevice({{"requestDeadlineSeconds", Value(2)}});
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  fs::remove(viber_.bundle / "Info.plist");
  std::string id = reply({{"text", Value("nobody is there to send this")}});
  ASSERT_FALSE(id.empty());
  EXPECT_TRUE(waitForMessageFrom("SpringBoard", "PXVIBER: Viber app is nil"));
  auto o = outcome(id, 10);
  ASSERT_TRUE(o);
  EXPECT_FALSE(o->delivered);
  EXPECT_TRUE(waitForMessageFrom("SpringBoard", "SpringBoard: alert shown"));
  auto shown = alerts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(foundation::find(shown[0], "message")->description(),
            "Viber did not take the reply in time. Message not sent.\n"
            "Reply to Someone (conversation " +
                std::to_string(sample_.aliceChat) + "): \"nobody is there to send this\"");
  EXPECT_TRUE(tweak::readQueue(pxviber::readSettingsFile(root_)).pending.empty());
}

TEST_F(QueueRoad, ARequestInTheOldFourKeyFormIsSentOnce) {
  startDevice({{"messageText", Value("left by an older springboard")},
               {"conversationID", Value(std::to_string(sample_.zoeChat))}});
  launchViber();
  ASSERT_TRUE(waitFor([&] {
    auto outcomes = tweak::readOutcomes(pxviber::readSettingsFile(root_));
    return !outcomes.empty() && outcomes.back().delivered;
  }));
  auto texts = sent(sample_.zoeChat);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "left by an older springboard"), 1);
  auto file = pxviber::readSettingsFile(root_);
  EXPECT_EQ(foundation::find(file, "messageText"), nullptr);
  EXPECT_EQ(foundation::find(file, "conversationID"), nullptr);
}

TEST_F(QueueRoad, AMailboxThatCannotBeWrittenPostsNothingTellsTheUserAndKeepsNoPhoto) {
  startDevice();
  ASSERT_EQ(push(sample_.aliceLatestToken), std::to_string(sample_.aliceChat));
  fs::path folder = root_ / "private/var/mobile/Library/Preferences";
  ::chmod(folder.c_str(), 0555);
  // The superuser writes into a read-only folder all the same; for it the
  // writer's lock is made impossible, which fails the write the same way.
  if (::geteuid() == 0)
    fs::create_directory(folder / "org.northquay.pxviberpreferences.plist.lock");
  auto attachments = stored("Attachments");
  auto previews = stored("AttachmentsPreview");
  std::string output;
  int code =
      pxviber("reply --root " + root_.string() + " --photo " + photo(64, 48).string(), &output);
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(code, 1) << output;
  EXPECT_NE(output.find("not sent: Unable to save the reply for Viber. Message not sent."),
            std::string::npos)
      << output;
  EXPECT_TRUE(messages("SpringBoard: PXVIBER: Viber application state").empty());
  EXPECT_FALSE(pxviber::runningPid(root_, "Viber"));
  EXPECT_EQ(stored("Attachments"), attachments);
  EXPECT_EQ(stored("AttachmentsPreview"), previews);
  auto shown = alerts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(foundation::find(shown[0], "message")->description(),
            "Unable to save the reply for Viber. Message not sent.\nPhoto reply to Someone "
            "(conversation " +
                std::to_string(sample_.aliceChat) + ")");
}

}  // namespace
}  // namespace tests
