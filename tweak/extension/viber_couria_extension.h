// ORVViberCouriaExtension: the extension that Couria calls for Viber
// notifications, in the springboard. It has no instance state of its own; its
// operations live in one file each:
//   notification_identification.cc  getUserIdentifier
//   conversation_lookup.cc           the two database lookups
//   conversation_message.cc          getNickname, isMessageOfTextType
//   history_fetch.cc                 getMessages
//   send_request.cc                  sendMessage, canSendPhotos
//   waking.cc                        appWithIdentifier, startWakingViber, wakeAppToSendMessage
// Every operation runs on the thread on which Couria calls (the main thread).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/couria/couria.h"

namespace platform::springboard {
class SBApplication;
}

namespace tweak {

class ORVViberCouriaExtension : public platform::couria::CouriaExtension,
                                public std::enable_shared_from_this<ORVViberCouriaExtension> {
 public:
  static std::shared_ptr<ORVViberCouriaExtension> create() {
    return std::make_shared<ORVViberCouriaExtension>();
  }

  // CouriaExtension.
  platform::couria::UserIdentifier getUserIdentifier(
      const platform::springboard::BBBulletin& bulletin) override;
  void sendMessage(std::shared_ptr<const platform::couria::CouriaMessage> message,
                   const platform::couria::UserIdentifier& user) override;
  std::optional<std::string> getNickname(const platform::couria::UserIdentifier& user) override;
  std::vector<std::shared_ptr<platform::couria::CouriaMessage>> getMessages(
      const platform::couria::UserIdentifier& user) override;
  bool canSendPhotos() override;

  // Conversation lookup: the decimal key of a ZCONVERSATION row, or nullopt.
  std::optional<std::string> getConversationIDForMessageWithToken(
      const std::optional<std::string>& token);
  std::optional<std::string> getConversationIDForNumber(const std::optional<std::string>& number,
                                                        const std::optional<std::string>& group);

  // True when the message's content is a string (of any string class).
  bool isMessageOfTextType(const platform::couria::CouriaMessage& message);

  // Waking the messenger after a send request.
  std::shared_ptr<platform::springboard::SBApplication> appWithIdentifier();
  void startWakingViber();
  void wakeAppToSendMessage();
};

}  // namespace tweak
