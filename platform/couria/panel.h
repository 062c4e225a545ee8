// Couria's reply panel: what the host shows for a bulletin of an application
// with a registered extension.
//
// Showing a bulletin asks the extension, in Couria's order, for the user
// identifier of the bulletin, then for that user's nickname and history; the
// panel becomes Couria's open panel (the one a reply answers), is printed to
// standard output, and is answered as a dictionary for the command line. Main
// thread only, like every Couria call.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/couria/couria.h"
#include "platform/foundation/value.h"
#include "platform/springboard/bulletin.h"

namespace platform::couria {

struct Panel {
  std::string application;
  UserIdentifier user;
  std::optional<std::string> nickname;
  std::vector<std::shared_ptr<CouriaMessage>> messages;  // as getMessages answered them
};

// Shows `bulletin` with the extension registered for its section. Throws
// platform::Error when the bulletin names no section or no extension is
// registered for it.
Panel presentBulletin(Couria& couria, const springboard::BBBulletin& bulletin);

// The panel as text: a head line with the nickname (or the user identifier),
// then one line per message in the order given, with its local time; incoming
// messages are marked "<", outgoing ones ">" and indented.
std::string renderPanel(const Panel& panel);

// The properties of a message that the panel lists, in this order.
inline constexpr const char* kMessageProperties[] = {
    "content", "outgoing", "timestamp", "authorPhoneNumIndex", "authorDisplayName", "conversation"};

// The panel as a dictionary: "application", "user" and "nickname" (absent for
// nil), "messages": one dictionary per message with kMessageProperties, each
// read with valueForKey: (content as its description, outgoing as a Boolean,
// timestamp as a date; absent for nil or for a property the message lacks).
foundation::Dictionary panelDictionary(const Panel& panel);

// The springboard's "bulletin" request: "bulletin" holds a bulletin dictionary
// (BBBulletin::toDictionary); the answer is panelDictionary of the panel shown,
// with "text" holding renderPanel.
foundation::Dictionary answerBulletinRequest(const foundation::Dictionary& request);

}  // namespace platform::couria
