#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "tests/four_key_tweak/four_key_tweak.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/preferences.h"

namespace tweak::testing {

namespace foundation = platform::foundation;

void FourKeyExtension::sendMessage(std::shared_ptr<const platform::couria::CouriaMessage> message,
                                   const platform::couria::UserIdentifier& user) {
  foundation::Id content = message ? message->content() : nullptr;
  const auto* text = dynamic_cast<const foundation::NSString*>(content.get());
  if (!user) {
    foundation::NSLog(
        "PXVIBER: did not get conversation ID in message send method, unable to proceed!");
    return;
  }
  updateMailbox([&](foundation::Dictionary& d) {
    d[key::messageText] = foundation::Value(text ? text->value() : std::string());
    d[key::conversationID] = foundation::Value(*user);
  });
  if (auto center = platform::notify::darwinNotifyCenter()) {
    center->postNotification(kSendMessageNotification);
  }
  startWakingViber();
}

}  // namespace tweak::testing
