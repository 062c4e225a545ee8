#include "tweak/extension/viber_couria_extension.h"

#include "platform/foundation/log.h"

namespace tweak {

// The operations below are not built yet: the extension answers no conversation,
// no history, and sends nothing. Each moves to its own file when it is built.
platform::couria::UserIdentifier ORVViberCouriaExtension::getUserIdentifier(
    const platform::springboard::BBBulletin&) {
  return std::nullopt;
}

std::optional<std::string> ORVViberCouriaExtension::getNickname(
    const platform::couria::UserIdentifier&) {
  return std::nullopt;
}

std::vector<std::shared_ptr<platform::couria::CouriaMessage>> ORVViberCouriaExtension::getMessages(
    const platform::couria::UserIdentifier&) {
  return {};
}

std::optional<std::string> ORVViberCouriaExtension::getConversationIDForMessageWithToken(
    const std::optional<std::string>&) {
  return std::nullopt;
}

std::optional<std::string> ORVViberCouriaExtension::getConversationIDForNumber(
    const std::optional<std::string>&, const std::optional<std::string>&) {
  return std::nullopt;
}

bool ORVViberCouriaExtension::isMessageOfTextType(const platform::couria::CouriaMessage& message) {
  auto content = message.content();
  platform::foundation::NSLog("PXVIBER:  message class is {}, message is {}",
                              content ? content->className() : std::string("(null)"),
                              platform::foundation::describe(content));
  return dynamic_cast<const platform::foundation::NSString*>(content.get()) != nullptr;
}

}  // namespace tweak
