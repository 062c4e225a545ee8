// The environment that tweak code runs in, made of fakes: a scratch device
// folder, a fake run loop that owns time, a fake notify centre that records
// posts, a recording log and recording alerts, and the process state of a
// freshly loaded library, before and after each test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

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
#include "tweak/core/file_operations.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"

namespace tweak::testing {

// The device's files, except that reads of the settings file go through
// `reader` while one is set (one that writes between two readings, say).
class SettingsFileReader final : public FileOperationsWrapper {
 public:
  SettingsFileReader() : FileOperationsWrapper(deviceFileOperations()) {}
  std::optional<platform::foundation::Dictionary> readDictionary(
      const std::filesystem::path& path) override {
    if (reader && path == preferencesPath()) return reader();
    return FileOperationsWrapper::readDictionary(path);
  }
  std::function<std::optional<platform::foundation::Dictionary>()> reader;
};

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
    resetProcessState();
  }

  void TearDown() override {
    // First: the state's timers are cancelled on the loop, its doubles go.
    resetProcessState();
    platform::notify::setDarwinNotifyCenter(nullptr);
    platform::runloop::setMainRunLoop(nullptr);
    platform::runtime::unregisterAllClasses();
    platform::foundation::resetProcessIdentity();
    scratch_.reset();
  }

  // Reads of the settings file go through `reader` from now on (nullptr: the
  // file itself).
  void setMailboxReaderForTesting(
      std::function<std::optional<platform::foundation::Dictionary>()> reader) {
    settingsReader_.reader = std::move(reader);
    processState().files = &settingsReader_;
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

  // Turns the loop until the queue is quiet, so that a second send of any
  // request would show: the clock moves past the longest wait before a retry
  // (a minute, and a minute after a write that failed), and again while a
  // timer is still set and the move changed the settings file or what
  // `watched` answers (the sends that reached the messenger, say). A request
  // that waits for ever (for a manager, say) keeps changing its attempts: the
  // turns end after kQuietRounds, long before any deadline of a day.
  void untilQuiet(const std::function<std::string()>& watched = {}) {
    auto seen = [&] { return file() + "|" + (watched ? watched() : std::string()); };
    for (int round = 0; round < kQuietRounds; ++round) {
      std::string before = seen();
      loop_->advance(platform::runloop::Seconds(kQuietSeconds));
      if (loop_->pendingTimers() == 0 || seen() == before) return;
    }
  }
  static constexpr double kQuietSeconds = 2 * 60 + 1;
  static constexpr int kQuietRounds = 8;

  // The settings values as "fetch days max debug alerts markRead".
  static std::string values() {
    const auto& s = settings();
    return std::to_string(s.fetchHistoryFromDB) + " " + std::to_string(s.historyDaysToDisplay) +
           " " + std::to_string(s.maxMessagesToDisplay) + " " + std::to_string(s.debugMode) + " " +
           std::to_string(s.showAlerts) + " " + std::to_string(s.markReadOnReply);
  }

  // Made anew by each SetUp (a test may tear down and set up again).
  std::optional<platform::foundation::testing::ScratchFolder> scratch_;
  std::filesystem::path root_;
  std::shared_ptr<platform::runloop::testing::FakeRunLoop> loop_;
  std::shared_ptr<platform::notify::testing::FakeNotifyCenter> center_;
  platform::foundation::testing::RecordingLog log_;
  platform::springboard::testing::RecordingAlerts alerts_;
  SettingsFileReader settingsReader_;
};

}  // namespace tweak::testing
