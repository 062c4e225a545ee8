// The send executor: inside the messenger, carries out the send request that the
// springboard left in the mailbox.
//
// It reads the request, takes it out of the mailbox (once it names a
// conversation), resolves the conversation identifier through the captured
// manager's Core Data store into the messenger's conversation object and calls
// the messenger's text or picture send. Every failure is written to the log
// and raised as an alert in the springboard through showAlert(); nothing is
// retried. Runs on the main run loop; the picture completion runs wherever the
// messenger calls it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/notify/notify_center.h"

namespace platform::messenger {
class Conversation;
class DBManager;
}  // namespace platform::messenger

namespace tweak {

// Alert texts raised by the executor (title kAlertTitle).
inline constexpr const char* kNoConversationIDAlert =
    "Unable to read old message conversation ID. Message not sent.";
inline constexpr const char* kNoManagerAlert = "Unable to connect to Viber DB. Message not sent.";
inline constexpr const char* kNoConversationAlert =
    "Unable to match conversation. Message not sent.";
inline constexpr const char* kPictureFailedAlert = "Unable to send picture message.";

// The messenger's observer of the send notification; ignores its arguments.
void sendMessageCallback(platform::notify::NotifyCenter* center, const void* observer,
                         std::string_view name, const void* object, const void* userInfo);

// The conversation for `conversationID` (its text form): the first store of the
// manager's coordinator whose model version hashes name "Conversation" gives the
// store UUID of "x-coredata://<UUID>/Conversation/p<conversationID>", which the
// coordinator turns into an object ID and the manager into its conversation.
// Null when no store qualifies (logged) or nothing matches.
std::shared_ptr<const platform::messenger::Conversation> resolveConversation(
    platform::messenger::DBManager& manager, const std::string& conversationID);

}  // namespace tweak
