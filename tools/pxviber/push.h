// Viber notifications as the springboard's bulletin board delivers them, for
// pxviber push and the demo.
#pragma once

#include <string>

#include "platform/springboard/bulletin.h"

namespace pxviber {

struct NotificationContent {
  std::string token;            // the message token, decimal; empty for none
  std::string number;           // the sender's phone number ("fn"); empty for none
  std::string group;            // the group identifier ("gi"); empty for a one-to-one chat
  std::string text;             // the notification text, "Sender: body"
  std::string form = "remote";  // remote, local or userinfo
};

// A bulletin of section "com.viber" carrying the payload in the chosen form.
platform::springboard::BBBulletin makeBulletin(const NotificationContent& note);

}  // namespace pxviber
