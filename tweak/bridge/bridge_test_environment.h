// The tweak's test environment inside a messenger: the fake "DBManager" class
// registered, the capture installed, the captured manager empty, and the
// messenger's database read back from what the fake messenger stored.
#pragma once

#include <fmt/format.h>

#include <set>

#include "platform/messenger/testing/fake_messenger.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/message_store.h"
#include "tweak/core/send_queue.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak::testing {

// The fake messenger's stored messages as the executor reads them back. Every
// reading counts in `readings`; those numbered in `failing` (from 1) answer as
// a busy database does, and so does every reading of a store made unreadable.
class FakeMessageStore final : public MessageStore {
 public:
  struct Schedule {
    int readings = 0;
    std::set<int> failing;
  };
  FakeMessageStore(platform::messenger::testing::FakeMessenger& messenger, bool readable,
                   Schedule& schedule)
      : messenger_(messenger), readable_(readable), schedule_(schedule) {}
  std::optional<std::int64_t> lastMessageKey() override {
    if (!readable()) return std::nullopt;
    std::int64_t last = 0;
    for (auto& m : messenger_.stored()) last = std::max(last, m.key);
    return last;
  }
  std::optional<std::int64_t> lastMessageKeyBefore(double unixTime) override {
    if (!readable()) return std::nullopt;
    std::int64_t last = 0;
    for (auto& m : messenger_.stored()) {
      if (m.date < unixTime) last = std::max(last, m.key);
    }
    return last;
  }
  Lookup<std::int64_t> outgoingText(std::int64_t conversation, const std::string& text,
                                    std::int64_t afterKey) override {
    if (!readable()) return {};
    for (auto& m : messenger_.stored()) {
      if (m.conversation == conversation && m.text == text && m.key > afterKey && !m.attachment) {
        return {true, m.key};
      }
    }
    return {true, std::nullopt};
  }
  Lookup<StoredPicture> outgoingPicture(std::int64_t conversation, const std::string& name,
                                        std::int64_t afterKey) override {
    if (!readable()) return {};
    std::optional<StoredPicture> newest;
    for (auto& m : messenger_.stored()) {
      if (m.conversation == conversation && m.attachment == name && m.key > afterKey) {
        newest = StoredPicture{m.key, m.uploaded};
      }
    }
    return {true, newest};
  }

 private:
  bool readable() { return readable_ && !schedule_.failing.count(++schedule_.readings); }

  platform::messenger::testing::FakeMessenger& messenger_;
  bool readable_;
  Schedule& schedule_;
};

class BridgeTest : public TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    messenger_.registerClass();
    installDBManagerCapture();
    setMessageStoreOpener(true);
    processState().clock = [this] { return kStart + loop_->now(); };
    messenger_.setClock([this] { return kStart + loop_->now(); });
    log_.clear();
  }

  // Whether the messenger's database can be read back.
  void setMessageStoreOpener(bool readable) {
    processState().openMessageStore = [this, readable](platform::messenger::DBManager&) {
      return std::make_unique<FakeMessageStore>(messenger_, readable, readings_);
    };
  }

  // The readings of the database numbered `n` from now on (from 1) cannot be read.
  void failReadings(std::set<int> n) { readings_ = {0, std::move(n)}; }

  // "-[<DBManager: 0x...> " for `manager`, as the trace lines open.
  static std::string receiver(const platform::messenger::DBManagerRef& manager) {
    return fmt::format("-[<DBManager: {}> ", fmt::ptr(manager.get()));
  }

  static constexpr double kStart = 1'700'000'000;
  platform::messenger::testing::FakeMessenger messenger_;
  FakeMessageStore::Schedule readings_;
};

}  // namespace tweak::testing
