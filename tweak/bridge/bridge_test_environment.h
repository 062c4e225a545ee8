// The tweak's test environment inside a messenger: the fake "DBManager" class
// registered, the capture installed, the captured manager empty.
#pragma once

#include <fmt/format.h>

#include "platform/messenger/testing/fake_messenger.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak::testing {

class BridgeTest : public TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    resetDBManagerCaptureForTesting();
    messenger_.registerClass();
    installDBManagerCapture();
    log_.clear();
  }
  void TearDown() override {
    resetDBManagerCaptureForTesting();
    TweakTest::TearDown();
  }

  // "-[<DBManager: 0x...> " for `manager`, as the trace lines open.
  static std::string receiver(const platform::messenger::DBManagerRef& manager) {
    return fmt::format("-[<DBManager: {}> ", fmt::ptr(manager.get()));
  }

  platform::messenger::testing::FakeMessenger messenger_;
};

}  // namespace tweak::testing
