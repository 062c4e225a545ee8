// Viber notifications as the springboard's bulletin board delivers them, for
// pxviber push and the demo.
#pragma once

#include <optional>
#include <string>

#include "platform/springboard/bulletin.h"

namespace pxviber {

struct NotificationContent {
  std::string token;   // the message token, decimal; empty for none
  std::string number;  // the sender's phone number ("fn"); empty for none
  // The group identifier ("gi"); nullopt for a one-to-one chat. An empty group
  // is a group all the same: Viber sends "gi" = "" in some payloads.
  std::optional<std::string> group;
  std::string text;             // the notification text, "Sender: body"
  std::string form = "remote";  // remote, local or userinfo
};

// A bulletin of section "com.viber" carrying the payload in the chosen form.
platform::springboard::BBBulletin makeBulletin(const NotificationContent& note);

}  // namespace pxviber
