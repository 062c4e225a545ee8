// ORVViberCouriaExtension: the extension that Couria calls for Viber
// notifications, in the springboard. It has no state of its own.
#pragma once

#include "platform/couria/couria.h"

namespace tweak {

class ORVViberCouriaExtension : public platform::couria::CouriaExtension {
 public:
  static std::shared_ptr<ORVViberCouriaExtension> create() {
    return std::make_shared<ORVViberCouriaExtension>();
  }

  platform::couria::UserIdentifier getUserIdentifier(
      const platform::springboard::BBBulletin& bulletin) override;
  void sendMessage(std::shared_ptr<const platform::couria::CouriaMessage> message,
                   const platform::couria::UserIdentifier& user) override;
};

}  // namespace tweak
