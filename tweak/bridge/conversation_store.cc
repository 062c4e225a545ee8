#include "tweak/bridge/conversation_store.h"

#include <fmt/format.h>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "tweak/core/preferences.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

namespace foundation = platform::foundation;
namespace pm = platform::messenger;
using foundation::Value;

namespace {

bool namesConversations(const pm::NSPersistentStore& store) {
  const Value* hashes = foundation::find(store.metadata(), viber::kStoreModelVersionHashesKey);
  return hashes && hashes->asDictionary() &&
         foundation::find(*hashes->asDictionary(), viber::kConversationEntity);
}

std::shared_ptr<const pm::NSPersistentStore> firstConversationStore(
    const pm::CoordinatorRef& coordinator) {
  if (!coordinator) return nullptr;
  for (const auto& candidate : coordinator->persistentStores()) {
    if (namesConversations(*candidate)) return candidate;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<const pm::NSPersistentStore> conversationStore(pm::DBManager& manager) {
  return firstConversationStore(manager.persistentStoreCoordinator());
}

std::shared_ptr<const pm::Conversation> resolveConversation(pm::DBManager& manager,
                                                            const std::string& conversationID) {
  pm::CoordinatorRef coordinator = manager.persistentStoreCoordinator();
  auto store = firstConversationStore(coordinator);
  if (!store) {
    foundation::NSLog("PXVIBER: unable to find conversation persistent store!");
    return nullptr;
  }
  const Value* uuid = foundation::find(store->metadata(), viber::kStoreUUIDKey);
  std::string uri = fmt::format(fmt::runtime(viber::kConversationURIFormat),
                                uuid ? uuid->description() : "(null)", conversationID);
  if (settings().debugMode) foundation::NSLog("PXVIBER: generate conversation URL: {}", uri);
  auto objectID =
      coordinator->managedObjectIDForURIRepresentation(foundation::NSURL::URLWithString(uri));
  return manager.getConversationWithManagedObjectID(objectID);
}

}  // namespace tweak
