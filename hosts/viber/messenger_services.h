// What the messenger host provides and does: the class "DBManager" over the
// database of its data container, the manager it creates for itself at start,
// and the requests it answers for the command line and tests.
#pragma once

#include <map>
#include <string>

#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"

namespace hosts {

// Defines the DBManager methods and registers the class (before tweaks load).
void registerMessengerServices();

// Creates the messenger's own manager through initWithAddressBook:, as the
// messenger does at launch (after tweaks load, so a loaded tweak sees it).
void startMessenger(platform::runloop::RunLoop& loop);

// "refresh" ("lightweight" => Boolean): the messenger creates its manager anew
// through init, or initInLightweightMode, and drops the one it held; answers
// "manager" (its description) or "error".
// "messages" ("conversation" => key as integer or text): the conversation's
// messages as the messenger's database holds them, oldest first, under
// "messages", and its unread count under "unreadCount"; "error" without a
// manager.
std::map<std::string, platform::runtime::HostRequestHandler> messengerRequestHandlers();

}  // namespace hosts
