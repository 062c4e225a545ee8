// A test double of an earlier version of the tweak, which knows only the four
// request keys of the settings file and nothing of the queue: its springboard
// writes a reply into the four keys, posts the send notification and wakes
// the messenger; its messenger reads the four keys at each send notification,
// removes them, and sends what they held once, telling the user of a failure
// with an alert. It is built into ParlexforViberFourKey.so for the process
// tests that pair it with this version (tests/versions_process_test.cc) and is
// never shipped. Text replies only: a photo reply is written as the empty text.
#pragma once

#include <memory>

#include "platform/notify/notify_center.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak::testing {

// The earlier springboard's extension: sendMessage:toUser: writes the four keys.
class FourKeyExtension final : public ORVViberCouriaExtension {
 public:
  static std::shared_ptr<FourKeyExtension> create() { return std::make_shared<FourKeyExtension>(); }
  void sendMessage(std::shared_ptr<const platform::couria::CouriaMessage> message,
                   const platform::couria::UserIdentifier& user) override;
};

// The earlier messenger's observer of the send notification.
void fourKeySendMessageCallback(platform::notify::NotifyCenter* center, const void* observer,
                                std::string_view name, const void* object, const void* userInfo);

}  // namespace tweak::testing
