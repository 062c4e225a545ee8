// The tweak's test environment inside a messenger: the fake "DBManager" class
// registered, the capture installed, the captured manager empty, and the
// messenger's database read back from what the fake messenger stored.
#pragma once

#include <fmt/format.h>

#include "platform/messenger/testing/fake_messenger.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/message_store.h"
#include "tweak/core/send_queue.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak::testing {

// The fake messenger's stored messages as the executor reads them back.
class FakeMessageStore final : public MessageStore {
 public:
  FakeMessageStore(platform::messenger::testing::FakeMessenger& messenger, bool readable)
      : messenger_(messenger), readable_(readable) {}
  std::optional<std::int64_t> lastMessageKey() override {
    if (!readable_) return std::nullopt;
    std::int64_t last = 0;
    for (auto& m : messenger_.stored()) last = std::max(last, m.key);
    return last;
  }
  std::optional<std::int64_t> outgoingText(std::int64_t conversation, const std::string& text,
                                           std::int64_t afterKey) override {
    for (auto& m : readable_ ? messenger_.stored() : none_) {
      if (m.conversation == conversation && m.text == text && m.key > afterKey && !m.attachment) {
        return m.key;
      }
    }
    return std::nullopt;
  }
  std::optional<StoredPicture> outgoingPicture(std::int64_t conversation,
                                               const std::string& name) override {
    for (auto& m : readable_ ? messenger_.stored() : none_) {
      if (m.conversation == conversation && m.attachment == name) {
        return StoredPicture{m.key, m.uploaded};
      }
    }
    return std::nullopt;
  }

 private:
  platform::messenger::testing::FakeMessenger& messenger_;
  bool readable_;
  std::vector<platform::messenger::testing::FakeMessenger::StoredMessage> none_;
};

class BridgeTest : public TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    messenger_.registerClass();
    installDBManagerCapture();
    setMessageStoreOpener(true);
    processState().clock = [this] { return kStart + loop_->now(); };
    log_.clear();
  }

  // Whether the messenger's database can be read back.
  void setMessageStoreOpener(bool readable) {
    processState().openMessageStore = [this, readable](platform::messenger::DBManager&) {
      return std::make_unique<FakeMessageStore>(messenger_, readable);
    };
  }

  // "-[<DBManager: 0x...> " for `manager`, as the trace lines open.
  static std::string receiver(const platform::messenger::DBManagerRef& manager) {
    return fmt::format("-[<DBManager: {}> ", fmt::ptr(manager.get()));
  }

  static constexpr double kStart = 1'700'000'000;
  platform::messenger::testing::FakeMessenger messenger_;
};

}  // namespace tweak::testing
