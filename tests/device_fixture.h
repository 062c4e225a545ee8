// A scratch device for process tests: created in a temporary folder, started
// (bus daemon and springboard), stopped and removed at the end of the test.
//
// A process test waits on the events it checks (a log line, an answer, a row in
// the database), never for a span of time: each wait ends as soon as its event
// has happened, and gives up only after kPatience, which no healthy run on a
// loaded machine comes near; so a failure is a fault, not a slow machine.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/testing/scratch_folder.h"
#include "platform/foundation/value.h"
#include "platform/springboard/bulletin.h"

namespace platform::notify {
class NotifyCenter;
}
namespace platform::runloop {
class RunLoop;
}

namespace tests {

inline constexpr std::chrono::seconds kPatience{60};

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the device (once per test) with the given iOS version.
  void createDevice(int ios = 9);
  // Start the device, or the messenger; each answers once the host has loaded
  // its settings.
  void start();
  // Stops every process of the device and starts it again (a respring), with
  // the test's bus connection made anew.
  void restartDevice();
  int launchViber(const std::vector<std::string>& extraArgs = {});

  // Lines of the device's system log whose message (after "Process[pid]: ")
  // begins with `prefix`, with the process name in front: "Viber: PXVIBER: ctor".
  std::vector<std::string> messages(const std::string& prefix = "") const;
  // Waits until `done` answers true; false when it has not within `timeout`.
  static bool waitFor(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = kPatience);
  // Waits until some line's message begins with `prefix`.
  bool waitForMessage(const std::string& prefix) const;
  // Waits until `process` ("Viber", "SpringBoard") has written a message that
  // begins with `prefix`.
  bool waitForMessageFrom(const std::string& process, const std::string& prefix) const;

  // The test's own connection to the running device's bus (joined on first use).
  platform::notify::NotifyCenter& bus();
  // Posts a notification from the test's connection.
  void post(const std::string& name);
  // A running host's answer to a request (see host_requests.h).
  platform::foundation::Dictionary ask(const std::string& process,
                                       const platform::foundation::Dictionary& request);
  // A round trip to `process` through the bus: once it answers, the process has
  // handled everything posted on the test's connection before, and its queued
  // deliveries of those posts have run.
  void ping(const std::string& process);
  // Shows the bulletin in the springboard's panel; answers the panel's
  // conversation ("" when the lookup found none `attempts` times: it sets no
  // busy timeout, by design, so while the messenger writes it can find nothing,
  // and the bulletin is then shown again, as a second one of the chat would be).
  std::string showBulletin(const platform::springboard::BBBulletin& bulletin, int attempts = 5);

  void writeSettings(const platform::foundation::Dictionary& d) const;
  // Runs bin/pxviber with the arguments (through `env`, with `environment`
  // first: "-u NAME" or "NAME=value" words); answers the exit code and fills
  // output.
  int pxviber(const std::string& args, std::string* output = nullptr,
              const std::string& environment = "") const;

  std::optional<platform::foundation::testing::ScratchFolder> scratch_;
  std::filesystem::path root_;
  std::filesystem::path tmp_;

 private:
  std::shared_ptr<platform::runloop::RunLoop> busLoop_;
  std::shared_ptr<platform::notify::NotifyCenter> bus_;
};

}  // namespace tests
