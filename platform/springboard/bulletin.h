// BBBulletin: a notification as the springboard's bulletin board holds it.
//
// A bulletin is plain data: the posting application's context dictionary (where
// the notification's payload lives), the body text, and the further fields that a
// diagnostic line prints. Any field may be absent (nil).
#pragma once

#include <optional>
#include <string>

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

}  // namespace platform::springboard
