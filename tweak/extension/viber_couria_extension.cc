#include "tweak/extension/viber_couria_extension.h"

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

void ORVViberCouriaExtension::sendMessage(std::shared_ptr<const platform::couria::CouriaMessage>,
                                          const platform::couria::UserIdentifier&) {}

bool ORVViberCouriaExtension::canSendPhotos() { return false; }

bool ORVViberCouriaExtension::isMessageOfTextType(const platform::couria::CouriaMessage&) {
  return false;
}

std::shared_ptr<platform::springboard::SBApplication> ORVViberCouriaExtension::appWithIdentifier() {
  return nullptr;
}

void ORVViberCouriaExtension::startWakingViber() {}

void ORVViberCouriaExtension::wakeAppToSendMessage() {}

}  // namespace tweak
