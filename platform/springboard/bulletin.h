// BBBulletin: a notification as the springboard's bulletin board holds it.
//
// A bulletin is plain data: the posting application's context dictionary (where
// the notification's payload lives), the body text, and the further fields that a
// diagnostic line prints. Any field may be absent (nil).
#pragma once

#include <optional>
#include <string>

#include "platform/foundation/keyed_archive.h"
#include "platform/foundation/object.h"
#include "platform/foundation/value.h"

namespace platform::springboard {

class BBBulletin : public foundation::NSObject {
 public:
  foundation::Dictionary context;
  std::optional<std::string> message;
  std::optional<std::string> sectionID;  // the posting application's identifier
  foundation::Value defaultAction;
  foundation::Value acknowledgeAction;
  foundation::Value alternateAction;
  foundation::Value publisherBulletinID;
  foundation::Value recordID;
  foundation::Value actions;
  foundation::Value supplementaryActions;

  std::string className() const override { return "BBBulletin"; }
  // "<BBBulletin: 0x...> section=..., message=..." for log lines.
  std::string description() const override;

  // The bulletin as a property-list dictionary and back, for carrying it between
  // processes; fromDictionary ignores entries of the wrong type.
  foundation::Dictionary toDictionary() const;
  static BBBulletin fromDictionary(const foundation::Dictionary& d);
};

// Keys of a bulletin's context dictionary.
inline constexpr const char* kNotificationTypeKey = "notificationType";
inline constexpr const char* kNotificationTypeLocal = "AppNotificationLocal";
inline constexpr const char* kNotificationTypeRemote = "AppNotificationRemote";
inline constexpr const char* kLocalNotificationKey = "localNotification";
inline constexpr const char* kRemoteNotificationKey = "remoteNotification";
inline constexpr const char* kUserInfoKey = "userInfo";

// UILocalNotification as a bulletin carries it: a keyed archive (data under
// "localNotification") whose root object is of class "UILocalNotification",
// with the fields "alertBody", "fireDate" and "userInfo".
struct UILocalNotification {
  std::optional<std::string> alertBody;
  std::optional<foundation::Date> fireDate;
  foundation::Value userInfo;

  // archivedDataWithRootObject: of the notification.
  foundation::Bytes archive() const;
};

// The userInfo of an unarchived object: nullopt when the object does not
// answer userInfo (it is not a UILocalNotification or a subclass of it), else
// its "userInfo" field (null when the field is absent, as a nil property reads).
std::optional<foundation::Value> userInfoOf(const foundation::ArchivedObject& object);

}  // namespace platform::springboard
