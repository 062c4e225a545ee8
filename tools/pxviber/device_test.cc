// Devices on the command line's side: made only where nothing else is, and
// their processes recognised before anything is signalled.
#include "tools/pxviber/device.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <thread>

#include "platform/foundation/child_process.h"
#include "platform/foundation/error.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "tools/pxviber/packages/testing/scratch_device.h"

namespace pxviber {
namespace {

namespace fs = std::filesystem;
using platform::foundation::startChild;

class DeviceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int pid : children_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // What creating a device at `root` throws, "" when it does not.
  static std::string createError(const fs::path& root) {
    try {
      createDevice(root, {});
    } catch (const platform::Error& e) {
      return e.what();
    }
    return "";
  }

  // Starts a child (killed at the end of the test), once its arguments show
  // (until its program runs, a child shows none, or under an emulator its
  // parent's).
  int start(const std::vector<std::string>& arguments) {
    int pid = startChild({.arguments = arguments, .searchPath = true});
    children_.push_back(pid);
    while (platform::foundation::processArguments(pid) != arguments) std::this_thread::yield();
    return pid;
  }

  static bool runs(int pid) { return ::kill(pid, 0) == 0 && ::waitpid(pid, nullptr, WNOHANG) == 0; }

  void writePid(const std::string& process, int pid) {
    std::ofstream(pidFilePath(root_, process)) << pid << "\n";
  }

  platform::foundation::testing::ScratchFolder scratch_{"pxviber-device"};
  fs::path root_ = scratch_ / "device";
  std::vector<int> children_;
};

TEST_F(DeviceTest, ADeviceIsMadeOnlyInAnEmptyOrAbsentFolder) {
  fs::path busy = scratch_ / "busy";
  fs::create_directories(busy / "photos");
  std::ofstream(busy / "notes.txt") << "mine";
  std::ofstream(scratch_ / "a-file") << "mine";
  std::string before = packages::testing::treeSnapshot(scratch_.path());
  EXPECT_EQ(createError(busy), "cannot create a device in " + busy.string() +
                                   ": the folder is not empty (a device is made only in an empty "
                                   "or absent folder)");
  EXPECT_EQ(createError(scratch_ / "a-file"),
            "cannot create a device at " + (scratch_ / "a-file").string() + ": it is not a folder");
  EXPECT_EQ(createError(scratch_ / ("long" + std::string(300, 'x'))).rfind("cannot create", 0), 0u);
  EXPECT_EQ(packages::testing::treeSnapshot(scratch_.path()), before);
}

// A device that cannot be made whole is not left half made: the folder is as
// it was before, absent or empty, so a second try is not refused. Here the
// root fits the file system's path limit but the device's deeper folders do
// not.
TEST_F(DeviceTest, ADeviceThatFailsHalfWayLeavesNothingBehind) {
  fs::path deep = scratch_.path();
  while (deep.string().size() < 4000) deep /= std::string(200, 'd');
  fs::create_directories(deep);
  fs::path absent = deep / "absent";
  EXPECT_EQ(createError(absent).rfind("cannot ", 0), 0u);
  EXPECT_FALSE(fs::exists(absent));
  fs::path empty = deep / "empty";
  fs::create_directories(empty);
  EXPECT_EQ(createError(empty).rfind("cannot ", 0), 0u);
  EXPECT_TRUE(fs::is_directory(empty));
  EXPECT_TRUE(fs::is_empty(empty));
}

// A pid file outlives its process, and its number may name another process
// of the user by then: that process is neither stopped nor taken for the
// device's, and the stale file is removed and named.
TEST_F(DeviceTest, AStalePidFileNamingAnotherProcessIsRemovedNotSignalled) {
  fs::create_directories(root_);
  packages::testing::makeScratchDevice(root_);
  fs::create_directories(pidFilePath(root_, "x").parent_path());
  int stranger = start({"sleep", "1000"});
  writePid("SpringBoard", stranger);
  writePid("dbus", stranger);
  std::ofstream(pidFilePath(root_, "Viber")) << "none\n";
  EXPECT_EQ(runningPid(root_, "SpringBoard"), std::nullopt);
  EXPECT_EQ(removeStalePidFiles(root_),
            (std::vector<std::string>{
                "removed the stale pid file " + pidFilePath(root_, "Viber").string() +
                    " (it names no process)",
                "removed the stale pid file " + pidFilePath(root_, "SpringBoard").string() +
                    " (process " + std::to_string(stranger) + " is not the device's SpringBoard)",
                "removed the stale pid file " + pidFilePath(root_, "dbus").string() + " (process " +
                    std::to_string(stranger) + " is not the device's dbus)"}));
  writePid("SpringBoard", stranger);
  EXPECT_FALSE(stopDevice(root_));
  EXPECT_TRUE(runs(stranger));
  EXPECT_FALSE(fs::exists(pidFilePath(root_, "SpringBoard")));
}

// A process started as the device starts its host is the device's own, and
// stopping the device stops it; the same program for another device is not.
TEST_F(DeviceTest, TheDevicesOwnProcessIsRecognisedAndStopped) {
  fs::create_directories(root_);
  packages::testing::makeScratchDevice(root_);
  const std::string loop = "while :; do sleep 1; done";
  int other =
      start({"/bin/sh", "-c", loop, "springboard", "--root", (scratch_ / "other").string()});
  int own = start({"/bin/sh", "-c", loop, "springboard", "--root", root_.string() + "/."});
  writePid("SpringBoard", other);
  EXPECT_EQ(runningPid(root_, "SpringBoard"), std::nullopt);
  writePid("SpringBoard", own);
  EXPECT_EQ(runningPid(root_, "SpringBoard"), own);
  EXPECT_TRUE(stopDevice(root_));
  EXPECT_FALSE(runs(own));
  EXPECT_TRUE(runs(other));
}

}  // namespace
}  // namespace pxviber
