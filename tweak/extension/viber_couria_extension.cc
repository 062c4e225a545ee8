#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

// The conversation lookup and the send request are not wired yet: the extension
// answers no conversation and sends nothing.
platform::couria::UserIdentifier ORVViberCouriaExtension::getUserIdentifier(
    const platform::springboard::BBBulletin&) {
  return std::nullopt;
}

void ORVViberCouriaExtension::sendMessage(std::shared_ptr<const platform::couria::CouriaMessage>,
                                          const platform::couria::UserIdentifier&) {}

}  // namespace tweak
