// The environment that tweak code runs in, made of fakes: a scratch device
// folder, a fake run loop that owns time, a fake notify centre that records
// posts, a recording log and recording alerts, and the settings values reset.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/recording_log.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/notify/testing/fake_notify_center.h"
#include "platform/runloop/testing/fake_run_loop.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/testing/recording_alerts.h"
#include "tweak/core/bootstrap.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"

namespace tweak::testing {

class TweakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace("pxviber-test");
    root_ = scratch_->path();
    std::filesystem::create_directories(root_ / "private/var/mobile/Library/Preferences");
    std::filesystem::create_symlink("private/var", root_ / "var");
    platform::foundation::setDeviceRoot(root_);
    loop_ = std::make_shared<platform::runloop::testing::FakeRunLoop>();
    center_ = std::make_shared<platform::notify::testing::FakeNotifyCenter>(*loop_);
    platform::runloop::setMainRunLoop(loop_);
    platform::notify::setDarwinNotifyCenter(center_);
    resetSettings();
    resetBootstrapForTesting();
  }

  void TearDown() override {
    setMailboxReaderForTesting(nullptr);
    platform::notify::setDarwinNotifyCenter(nullptr);
    platform::runloop::setMainRunLoop(nullptr);
    platform::runtime::unregisterAllClasses();
    platform::foundation::resetProcessIdentity();
    resetSettings();
    scratch_.reset();
  }

  // The settings file as "key=value" pairs joined by commas; "NONE" when absent.
  std::string file() const {
    auto d = platform::foundation::readDictionaryFile(preferencesPath());
    if (!d) return "NONE";
    std::string out;
    for (auto& [k, v] : *d) out += (out.empty() ? "" : ",") + k + "=" + v.description();
    return out;
  }

  void writeFile(const platform::foundation::Dictionary& d) {
    ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(preferencesPath(), d));
  }

  // The settings values as "fetch days max debug alerts".
  static std::string values() {
    const auto& s = settings();
    return std::to_string(s.fetchHistoryFromDB) + " " + std::to_string(s.historyDaysToDisplay) +
           " " + std::to_string(s.maxMessagesToDisplay) + " " + std::to_string(s.debugMode) + " " +
           std::to_string(s.showAlerts);
  }

  // Made anew by each SetUp (a test may tear down and set up again).
  std::optional<platform::foundation::testing::ScratchFolder> scratch_;
  std::filesystem::path root_;
  std::shared_ptr<platform::runloop::testing::FakeRunLoop> loop_;
  std::shared_ptr<platform::notify::testing::FakeNotifyCenter> center_;
  platform::foundation::testing::RecordingLog log_;
  platform::springboard::testing::RecordingAlerts alerts_;
};

}  // namespace tweak::testing
