// The texts the tweak tells the user and writes to the log when a reply does
// not go out, in one place: both halves write some of them, several files
// each. Alerts carry the title kAlertTitle (alert_relay.h).
#pragma once

namespace tweak {

// The send executor's alerts, inside the messenger.
inline constexpr const char* kNoConversationIDAlert =
    "Unable to read old message conversation ID. Message not sent.";
inline constexpr const char* kNoManagerAlert = "Unable to connect to Viber DB. Message not sent.";
inline constexpr const char* kNoConversationAlert =
    "Unable to match conversation. Message not sent.";
inline constexpr const char* kPictureFailedAlert = "Unable to send picture message.";

// Failure texts of the queue's own, in the style of the executor's.
inline constexpr const char* kNotTakenInTimeText =
    "Viber did not take the reply in time. Message not sent.";
inline constexpr const char* kUnreadablePhotoText = "Unable to read the photo. Message not sent.";
inline constexpr const char* kUnstoredPhotoText =
    "Unable to store the photo for Viber. Message not sent.";
inline constexpr const char* kControlCharactersText =
    "Unable to send a reply holding control characters. Message not sent.";
inline constexpr const char* kUnsavedRequestText =
    "Unable to save the reply for Viber. Message not sent.";
inline constexpr const char* kNotStoredByViberText =
    "Viber did not store the message. Message not sent.";
// The outcome of a request a messenger of an earlier version took (it removed
// the four request keys) and that is not confirmed among Viber's messages
// (not found there, or nobody looked before its deadline): that messenger
// told its user of its own failures, so nobody is told again.
inline constexpr const char* kTakenByEarlierText =
    "Taken by Viber with an earlier version of the tweak; not confirmed.";
// An entry of the queue that can never be sent: not a request, or a request
// whose text, picture or time cannot be one's.
inline constexpr const char* kUnreadableReplyText = "Unable to read the reply. Message not sent.";

// Logged with the alert kNoConversationIDAlert.
inline constexpr const char* kNoConversationIDLine =
    "PXVIBER: unable to read message conversationID! Message not sent.";
// Logged, with the request's identifier and the reason, by the side that takes
// a request out of the queue past its deadline.
inline constexpr const char* kDroppedRequestLine = "PXVIBER: send request {} dropped: {}";

}  // namespace tweak
