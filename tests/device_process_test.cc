// `pxviber device start` and `stop` on a device whose pid files outlived
// their processes: a number now held by another process of the user is
// neither taken for the device's nor signalled.
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <thread>

#include "platform/foundation/child_process.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/device.h"

namespace tests {
namespace {

class DeviceProcesses : public DeviceTest {
 protected:
  void TearDown() override {
    if (stranger_ > 0) {
      ::kill(stranger_, SIGKILL);
      ::waitpid(stranger_, nullptr, 0);
    }
    DeviceTest::TearDown();
  }

  // A process of the user that is none of the device's.
  int startStranger() {
    const std::vector<std::string> arguments{"sleep", "1000"};
    stranger_ = platform::foundation::startChild({.arguments = arguments, .searchPath = true});
    // Until its program runs, the child shows no arguments, or under an
    // emulator its parent's.
    while (platform::foundation::processArguments(stranger_) != arguments)
      std::this_thread::yield();
    return stranger_;
  }

  bool strangerRuns() const {
    return ::kill(stranger_, 0) == 0 && ::waitpid(stranger_, nullptr, WNOHANG) == 0;
  }

  void writePid(const std::string& process, int pid) const {
    std::ofstream(pxviber::pidFilePath(root_, process)) << pid << "\n";
  }

  std::string removed(const std::string& process) const {
    return "removed the stale pid file " + pxviber::pidFilePath(root_, process).string() +
           " (process " + std::to_string(stranger_) + " is not the device's " + process + ")\n";
  }

  int stranger_ = 0;
};

TEST_F(DeviceProcesses, AStalePidFileNamingAnotherProcessIsRemovedAndThatProcessLeftAlone) {
  createDevice();
  startStranger();
  writePid("SpringBoard", stranger_);
  writePid("dbus", stranger_);
  std::string out;
  std::string root = " --root " + root_.string();
  ASSERT_EQ(pxviber("device start" + root, &out), 0) << out;
  EXPECT_EQ(out.rfind(removed("SpringBoard") + removed("dbus") + "device running at ", 0), 0u)
      << out;
  EXPECT_TRUE(strangerRuns());
  ASSERT_EQ(pxviber("device stop" + root, &out), 0) << out;
  EXPECT_EQ(out, "device stopped\n");
  EXPECT_TRUE(strangerRuns());
  writePid("Viber", stranger_);
  EXPECT_EQ(pxviber("device stop" + root, &out), 4);
  EXPECT_EQ(out,
            removed("Viber") + "pxviber: the device at " + root_.string() + " is not running\n");
  EXPECT_TRUE(strangerRuns());
}

// The springboard, too, finds a running messenger through its pid file: one
// that names another process is not the messenger, and that process is never
// stopped or continued for it.
TEST_F(DeviceProcesses, TheSpringboardTakesNoStrangerForTheMessenger) {
  createDevice();
  start();
  startStranger();
  writePid("Viber", stranger_);
  std::string out;
  std::string root = " --root " + root_.string();
  EXPECT_EQ(pxviber("app state" + root, &out), 0) << out;
  EXPECT_EQ(out, "com.viber: not running (state 1)\n");
  pxviber("app suspend" + root, &out);
  std::ifstream stat("/proc/" + std::to_string(stranger_) + "/stat");
  std::string line;
  std::getline(stat, line);
  ASSERT_NE(line.rfind(')'), std::string::npos) << line;
  EXPECT_EQ(line.at(line.rfind(')') + 2), 'S') << "the stranger was stopped: " << line;
}

}  // namespace
}  // namespace tests
