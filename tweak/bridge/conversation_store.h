// The messenger's conversation store and a conversation found through it.
//
// The conversation store is the first store of the manager's coordinator whose
// model version hashes name "Conversation"; later stores are not looked at.
// A conversation identifier (its text form) becomes the URI
// "x-coredata://<store UUID>/Conversation/p<identifier>", which the coordinator
// turns into an object ID and the manager into its conversation. Main thread.
#pragma once

#include <memory>
#include <string>

namespace platform::messenger {
class Conversation;
class DBManager;
class NSPersistentStore;
}  // namespace platform::messenger

namespace tweak {

// The conversation store; null when the manager has no coordinator or no store
// qualifies.
std::shared_ptr<const platform::messenger::NSPersistentStore> conversationStore(
    platform::messenger::DBManager& manager);

// The conversation for `conversationID`; null when no store qualifies (logged:
// "PXVIBER: unable to find conversation persistent store!") or nothing matches.
std::shared_ptr<const platform::messenger::Conversation> resolveConversation(
    platform::messenger::DBManager& manager, const std::string& conversationID);

}  // namespace tweak
