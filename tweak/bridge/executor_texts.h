// The texts of the send executor that more than one of its files writes: the
// alerts it raises (title kAlertTitle, alert_relay.h) and the log line that
// goes with a request that names no conversation.
#pragma once

namespace tweak {

inline constexpr const char* kNoConversationIDAlert =
    "Unable to read old message conversation ID. Message not sent.";
inline constexpr const char* kNoManagerAlert = "Unable to connect to Viber DB. Message not sent.";
inline constexpr const char* kNoConversationAlert =
    "Unable to match conversation. Message not sent.";
inline constexpr const char* kPictureFailedAlert = "Unable to send picture message.";

inline constexpr const char* kNoConversationIDLine =
    "PXVIBER: unable to read message conversationID! Message not sent.";

}  // namespace tweak
