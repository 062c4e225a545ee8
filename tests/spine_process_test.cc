// The tweak library loading into real host processes on a private bus.
#include <signal.h>
#include <sys/wait.h>

#include <random>
#include <thread>

#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/graphics/ui_image.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/sample_photo.h"

namespace tests {
namespace {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

class Spine : public DeviceTest {};

std::vector<std::string> loadLines(const std::vector<std::string>& lines,
                                   const std::string& process) {
  std::vector<std::string> out;
  for (auto& l : lines) {
    if (l.rfind(process + ": ", 0) == 0) out.push_back(l);
  }
  return out;
}

TEST_F(Spine, EachHostWritesTheLoadLinesOfItsRoleInOrder) {
  createDevice();
  start();
  launchViber();
  auto lines = messages("PXVIBER: ");
  EXPECT_EQ(
      loadLines(lines, "SpringBoard"),
      (std::vector<std::string>{"SpringBoard: PXVIBER: ctor", "SpringBoard: PXVIBER: Constructor",
                                "SpringBoard: PXVIBER: loaded in app: com.apple.springboard",
                                "SpringBoard: PXVIBER: couria instance taken",
                                "SpringBoard: PXVIBER: couria extension registered",
                                "SpringBoard: PXVIBER: loaded in springboard"}));
  EXPECT_EQ(loadLines(lines, "Viber"),
            (std::vector<std::string>{"Viber: PXVIBER: ctor", "Viber: PXVIBER: Constructor",
                                      "Viber: PXVIBER: loaded in app: com.viber",
                                      "Viber: PXVIBER: couria instance taken",
                                      "Viber: PXVIBER: couria extension registered"}));
}

TEST_F(Spine, HostsAnswerRequestsOverTheDeviceBus) {
  createDevice();
  start();
  int viber = launchViber();
  auto loop = platform::runloop::makeEventRunLoop();
  auto center = pxviber::joinDeviceBus(root_, *loop);
  auto answer =
      platform::runtime::sendHostRequest(*center, *loop, "Viber", {{"command", Value("ping")}});
  EXPECT_EQ(answer, (Dictionary{{"pid", Value(viber)}}));
  answer = platform::runtime::sendHostRequest(*center, *loop, "SpringBoard",
                                              {{"command", Value("nope")}});
  EXPECT_EQ(answer, (Dictionary{{"error", Value("unknown command nope")}}));
}

TEST_F(Spine, AnIdentifierDifferingOnlyInCaseTakesTheSpringboardRole) {
  createDevice();
  // Let the filter select the odd identifier too.
  fs::path filter = root_ / "Library/MobileSubstrate/DynamicLibraries/ParlexforViber.plist";
  auto plist = platform::foundation::readDictionaryFile(filter);
  ASSERT_TRUE(plist);
  (*plist)["Filter"] =
      Value(Dictionary{{"Bundles", Value(platform::foundation::Array{Value("com.Viber")})}});
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(filter, *plist));
  start();
  launchViber({"--bundle-id", "com.Viber"});
  auto viber = loadLines(messages("PXVIBER: "), "Viber");
  ASSERT_FALSE(viber.empty());
  EXPECT_EQ(viber.back(), "Viber: PXVIBER: loaded in springboard");
  EXPECT_EQ(viber[2], "Viber: PXVIBER: loaded in app: com.Viber");
}

TEST_F(Spine, StartingEitherProcessMakesTheOtherReload) {
  createDevice();
  writeSettings({{"debugMode", Value(true)}, {"maxMessagesToDisplay", Value(4)}});
  start();
  ASSERT_TRUE(waitForMessage("PXVIBER: preferences reloaded"));
  EXPECT_EQ(messages("PXVIBER: preferences reloaded"),
            std::vector<std::string>{
                "SpringBoard: PXVIBER: preferences reloaded: fetchHistoryFromDB=1 "
                "historyDaysToDisplay=3 maxMessagesToDisplay=4 debugMode=1 showAlerts=1 "
                "markReadOnReply=1"});
  writeSettings({{"debugMode", Value(true)}, {"maxMessagesToDisplay", Value(6)}});
  launchViber();
  // The messenger's start-up post reaches the springboard as well as itself.
  auto reloaded = [&] {
    int springboard = 0, viber = 0;
    for (auto& l : messages("PXVIBER: preferences reloaded")) {
      if (l.find("maxMessagesToDisplay=6") == std::string::npos) continue;
      springboard += l.rfind("SpringBoard:", 0) == 0;
      viber += l.rfind("Viber:", 0) == 0;
    }
    return springboard == 1 && viber == 1;
  };
  EXPECT_TRUE(waitFor(reloaded));
}

// The posts go out on the test's own connection, so the bus handles them in
// order: before the springboard answers the ping that follows them, the bus has
// passed them on to the stopped messenger too; once the messenger answers its
// ping, it has handled every one of them.
TEST_F(Spine, ANotificationPostedWhileTheMessengerIsStoppedArrivesAfterItContinues) {
  createDevice();
  writeSettings({{"debugMode", Value(true)}});
  start();
  int viber = launchViber();
  // The callback's line is a debug line: it needs the settings loaded.
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: preferences reloaded"));
  ASSERT_EQ(::kill(viber, SIGSTOP), 0);
  post("org.northquay.parlexviber.sendMessage");
  post("org.northquay.parlexviber.sendMessage");
  ping("SpringBoard");
  ASSERT_EQ(::kill(viber, SIGCONT), 0);
  ping("Viber");
  // Deliver-immediately observers get every post.
  EXPECT_EQ(messages("PXVIBER: sendMessage callback in Viber").size(), 2u);
}

TEST_F(Spine, SeveralPreferencePostsWaitingTogetherAreCoalescedIntoOneReload) {
  createDevice();
  writeSettings({{"debugMode", Value(true)}});
  start();
  int viber = launchViber();
  ASSERT_TRUE(waitForMessageFrom("Viber", "PXVIBER: preferences reloaded"));
  auto countViber = [&] {
    int n = 0;
    for (auto& l : messages("PXVIBER: preferences reloaded")) n += l.rfind("Viber:", 0) == 0;
    return n;
  };
  int before = countViber();
  ASSERT_EQ(::kill(viber, SIGSTOP), 0);
  for (int i = 0; i < 3; ++i) post("org.northquay.parlexviber.preferencesChanged");
  ping("SpringBoard");
  ASSERT_EQ(::kill(viber, SIGCONT), 0);
  // The answer comes after the queued reloads have run.
  ping("Viber");
  EXPECT_EQ(countViber(), before + 1);
}

// Many processes writing the mailbox at once, each its own keys: none is lost.
TEST_F(Spine, EightWritersOfTwoHundredMailboxWritesEachLoseNoKey) {
  fs::create_directories(tmp_);
  fs::path file = tmp_ / "mailbox.plist";
  constexpr int kProcesses = 8, kWrites = 200;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    if (pid == 0) {
      for (int i = 0; i < kWrites; ++i) {
        platform::foundation::updateDictionaryFile(file, [&](Dictionary& d) {
          d["w" + std::to_string(p) + "_" + std::to_string(i)] = Value(i);
        });
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t c : children) ::waitpid(c, nullptr, 0);
  auto d = platform::foundation::readDictionaryFile(file);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->size(), size_t(kProcesses * kWrites));
}

// A writer killed at any moment leaves the old file or the new one.
TEST_F(Spine, AWriterKilledMidWriteNeverLeavesATornFile) {
  fs::create_directories(tmp_);
  fs::path file = tmp_ / "mailbox.plist";
  std::mt19937 random(42);
  for (int round = 0; round < 20; ++round) {
    pid_t pid = ::fork();
    if (pid == 0) {
      for (int i = 0;; ++i) {
        platform::foundation::updateDictionaryFile(file, [&](Dictionary& d) {
          // A few hundred kilobytes, so that a write takes long enough to be cut.
          d["blob"] = Value(std::string(200000 + i % 1000, 'a' + i % 26));
          d["round"] = Value(i);
        });
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 40));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    if (!fs::exists(file)) continue;
    auto d = platform::foundation::readDictionaryFile(file);
    ASSERT_TRUE(d) << "round " << round << ": the file is torn";
    const auto* blob = platform::foundation::find(*d, "blob");
    ASSERT_TRUE(blob && blob->asString());
    EXPECT_GE(blob->asString()->size(), 200000u);
  }
}

// Without --root a command works on $PXVIBER_ROOT, else on the default device
// under the user's data folder; with neither it says how to make one.
TEST_F(Spine, WithoutRootCommandsUseTheDefaultDevice) {
  std::string home = (tmp_ / "home").string();
  std::string noDevice = "-u PXVIBER_ROOT -u XDG_DATA_HOME HOME=" + home;
  std::string out;
  EXPECT_EQ(pxviber("device start", &out, noDevice), 3);
  EXPECT_EQ(out, "pxviber: no device given and no default device at " + home +
                     "/.local/share/pxviber/device: make one with `pxviber device create` (or "
                     "give --root DIR, or set PXVIBER_ROOT)\n");
  ASSERT_EQ(pxviber("device create --ios 7", &out, noDevice), 0) << out;
  EXPECT_EQ(out.substr(0, out.find('\n')),
            "created an iOS 7 device at " + home + "/.local/share/pxviber/device");
  EXPECT_EQ(pxviber("messages --conversation 999", &out, noDevice), 1);
  EXPECT_EQ(out, "pxviber: no conversation 999 in Viber's database\n");
  // $PXVIBER_ROOT comes before the default device, and XDG_DATA_HOME moves it.
  createDevice();
  EXPECT_EQ(pxviber("device start", &out, "PXVIBER_ROOT=" + root_.string() + " HOME=" + home), 0)
      << out;
  EXPECT_EQ(out.rfind("device running at " + root_.string(), 0), 0u) << out;
  EXPECT_EQ(pxviber("device stop", &out, "-u PXVIBER_ROOT XDG_DATA_HOME=" + tmp_.string()), 3);
  EXPECT_NE(out.find("no default device at " + tmp_.string() + "/pxviber/device"),
            std::string::npos)
      << out;
}

// A newcomer trying a photo reply needs a photo: the created device has one in
// its camera roll, stored turned with the orientation that puts it upright.
TEST_F(Spine, ACreatedDeviceHoldsACameraPhotoToReplyWith) {
  std::string out;
  ASSERT_EQ(pxviber("device create --root " + root_.string(), &out), 0) << out;
  fs::path photo = root_ / fs::path(pxviber::kSamplePhotoDevicePath).relative_path();
  EXPECT_NE(out.find(photo.string()), std::string::npos) << out;
  auto bytes = platform::foundation::readFile(photo);
  ASSERT_TRUE(bytes);
  auto image = platform::graphics::UIImage::initWithData(std::move(*bytes));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->imageOrientation(), platform::graphics::UIImageOrientationRight);
  EXPECT_EQ(image->size().width, 3024);
  EXPECT_EQ(image->size().height, 4032);
}

TEST_F(Spine, BadInputGetsAClearErrorAndAnExitCode) {
  std::string out;
  EXPECT_EQ(pxviber("device start --root " + (tmp_ / "nowhere").string(), &out), 3);
  EXPECT_NE(out.find("no device at"), std::string::npos) << out;
  EXPECT_EQ(pxviber("device create --root " + (tmp_ / "no/such/parent").string(), &out), 1);
  EXPECT_NE(out.find("no such folder"), std::string::npos) << out;
  EXPECT_EQ(pxviber("device create --ios 6 --root " + root_.string(), &out), 1);
  EXPECT_NE(out.find("unknown iOS version 6"), std::string::npos) << out;
  EXPECT_EQ(pxviber("device create --ios nine --root " + root_.string(), &out), 2);
  EXPECT_EQ(pxviber("notify post x --root " + root_.string(), &out), 3);
  for (const char* token : {"abc", "2.5", "-7", "99999999999999999999"}) {
    EXPECT_EQ(
        pxviber("push --token " + std::string(token) + " --text x --root " + root_.string(), &out),
        2);
    EXPECT_NE(out.find(std::string("--token: \"") + token +
                       "\" is not a message token: give a whole number"),
              std::string::npos)
        << out;
  }
  createDevice();
  EXPECT_EQ(pxviber("device create --root " + root_.string(), &out), 1);
  EXPECT_NE(out.find("already exists"), std::string::npos) << out;
  EXPECT_EQ(pxviber("notify post x --root " + root_.string(), &out), 4);
  EXPECT_NE(out.find("not running"), std::string::npos) << out;
  EXPECT_EQ(pxviber("device stop --root " + root_.string(), &out), 4);
  EXPECT_EQ(pxviber("device start --root " + root_.string(), &out), 0) << out;
  EXPECT_EQ(pxviber("device start --root " + root_.string(), &out), 5);
  EXPECT_NE(out.find("already running"), std::string::npos) << out;
  EXPECT_EQ(pxviber("device stop --root " + root_.string(), &out), 0) << out;
  if (::geteuid() != 0) {
    fs::create_directories(tmp_ / "ro");
    fs::permissions(tmp_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(pxviber("device create --root " + (tmp_ / "ro/dev").string(), &out), 1);
  }
}

}  // namespace
}  // namespace tests
