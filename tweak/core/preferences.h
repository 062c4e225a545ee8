// The settings and mailbox file, its keys, the three notifications, and the
// six process-wide settings values.
//
// One property-list file carries the user's settings (edited by the settings
// pane) and the mailbox through which the two halves of the tweak pass a send
// request (springboard to messenger) and an alert (messenger to springboard).
// Each process holds its own copy of the settings values: zero until the first
// delivery of the preferences notification, then reloaded by loadPreferences()
// at every delivery. The values are plain variables used on the main thread.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tweak {

inline constexpr const char* kPreferencesDevicePath =
    "/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";

inline constexpr const char* kPreferencesChangedNotification =
    "org.northquay.parlexviber.preferencesChanged";
inline constexpr const char* kSendMessageNotification = "org.northquay.parlexviber.sendMessage";
inline constexpr const char* kShowAlertNotification = "org.northquay.parlexviber.showAlert";
// Posted by the messenger each time it records the outcome of a send request.
inline constexpr const char* kRequestOutcomeNotification =
    "org.northquay.parlexviber.requestOutcome";

// Keys of the file.
namespace key {
inline constexpr const char* fetchHistoryFromDB = "fetchHistoryFromDB";
inline constexpr const char* historyDaysToDisplay = "historyDaysToDisplay";
inline constexpr const char* maxMessagesToDisplay = "maxMessagesToDisplay";
inline constexpr const char* debugMode = "debugMode";
inline constexpr const char* showAlerts = "showAlerts";
// Whether a delivered reply marks its conversation read in the messenger.
inline constexpr const char* markReadOnReply = "markReadOnReply";
inline constexpr const char* alertTitle = "alertTitle";
inline constexpr const char* alertMessage = "alertMessage";
// The replies an alert is about, one line each, shown under its message.
inline constexpr const char* alertReplies = "alertReplies";
inline constexpr const char* messageText = "messageText";
inline constexpr const char* conversationID = "conversationID";
inline constexpr const char* messagePictureFile = "messagePictureFile";
inline constexpr const char* messagePictureFileWithPath = "messagePictureFileWithPath";
// The queue of send requests and their recorded outcomes (send_queue.h), and
// how long a request may wait for the messenger.
inline constexpr const char* pendingRequests = "pendingRequests";
inline constexpr const char* requestOutcomes = "requestOutcomes";
inline constexpr const char* requestDeadlineSeconds = "requestDeadlineSeconds";
// The identifier of the newest request the springboard wrote: the one the
// four request keys were written for.
inline constexpr const char* newestRequestID = "newestRequestID";
}  // namespace key

// Defaults for keys absent from the file.
inline constexpr bool kDefaultFetchHistoryFromDB = true;
inline constexpr std::int64_t kDefaultHistoryDaysToDisplay = 3;
inline constexpr std::int64_t kDefaultMaxMessagesToDisplay = 10;
inline constexpr bool kDefaultDebugMode = false;
inline constexpr bool kDefaultShowAlerts = true;
inline constexpr bool kDefaultMarkReadOnReply = true;

// The process-wide settings values. markReadOnReply sits beside the five the
// pane has always offered: whether a delivered reply marks its conversation
// read (read_marking.h). Like the others it is zero (NO) until the first
// load, so nothing is marked read before this process has read the file.
struct SettingsValues {
  bool fetchHistoryFromDB = false;
  std::int64_t historyDaysToDisplay = 0;
  std::int64_t maxMessagesToDisplay = 0;
  bool debugMode = false;
  bool showAlerts = false;
  bool markReadOnReply = false;
};

// This process's values (process_state.h).
SettingsValues& settings();

// The host path of the settings file on the current device.
std::filesystem::path preferencesPath();

// Reads the file and sets the six values, each as soon as it is read, in the
// order of SettingsValues. A missing or unreadable file, or a key whose value is
// neither a number nor a string, counts as absent and gives the default. No range
// check: zero and negative counts are stored as they are. With debugMode on,
// the reloaded values are logged.
void loadPreferences();

}  // namespace tweak
