// A scratch device for process tests: created in a temporary folder, started
// (bus daemon and springboard), stopped and removed at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

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
  // Runs bin/pxviber with the arguments; answers the exit code and fills output.
  int pxviber(const std::string& args, std::string* output = nullptr) const;

  std::filesystem::path root_;
  std::filesystem::path tmp_;
};

}  // namespace tests
