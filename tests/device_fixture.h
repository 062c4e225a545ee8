// A scratch device for process tests: created in a temporary folder, started
// (bus daemon and springboard), stopped and removed at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/springboard/bulletin.h"

namespace platform::notify {
class NotifyCenter;
}
namespace platform::runloop {
class RunLoop;
}

namespace tests {

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the device (once per test) with the given iOS version.
  void createDevice(int ios = 9);
  void start();
  int launchViber(const std::vector<std::string>& extraArgs = {});

  // Lines of the device's system log whose message (after "Process[pid]: ")
  // begins with `prefix`, with the process name in front: "Viber: PXVIBER: ctor".
  std::vector<std::string> messages(const std::string& prefix = "") const;
  // Waits until some line's message begins with `prefix`.
  bool waitForMessage(const std::string& prefix,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Waits until `process` ("Viber", "SpringBoard") has written a message that
  // begins with `prefix`.
  bool waitForMessageFrom(const std::string& process, const std::string& prefix,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  void writeSettings(const platform::foundation::Dictionary& d) const;

  // Joins the running device's bus, for ask() and pushes.
  void joinBus();
  // A host request; an answer with an error fails the test.
  platform::foundation::Dictionary ask(const std::string& process,
                                       const platform::foundation::Dictionary& request);
  // Shows the bulletin in the springboard's panel; answers the panel's
  // conversation. The lookup sets no busy timeout (by design), so while the
  // messenger is writing it can find nothing: the bulletin is then shown again,
  // as a second one of the same chat would be, up to `attempts` times.
  std::string showBulletin(const platform::springboard::BBBulletin& bulletin, int attempts = 5);
  // Waits until `done` holds: it reads what other processes change (files, the
  // database, processes).
  bool waitUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Runs bin/pxviber with the arguments; answers the exit code and fills output.
  int pxviber(const std::string& args, std::string* output = nullptr) const;

  std::filesystem::path root_;
  std::filesystem::path tmp_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
};

}  // namespace tests
