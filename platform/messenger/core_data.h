// The messenger's Core Data layer as its callers see it: persistent stores with
// their metadata, the coordinator that lists them in order, and managed object
// IDs with their "x-coredata://<store UUID>/<entity>/p<key>" URIs.
//
// A store's metadata is a dictionary holding at least "NSStoreUUID" (text) and
// "NSStoreModelVersionHashes" (entity name => hash data). The coordinator only
// resolves URIs: it answers an object ID for a URI naming one of its stores and
// an entity of that store, and never looks at the rows themselves (whether the
// object exists is the business of whoever fetches it).
//
// Objects are immutable once built and used from the messenger's main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/object.h"
#include "platform/foundation/value.h"

namespace platform::messenger {

inline constexpr const char* kStoreUUIDKey = "NSStoreUUID";
inline constexpr const char* kStoreTypeKey = "NSStoreType";
inline constexpr const char* kStoreModelVersionHashesKey = "NSStoreModelVersionHashes";

class NSManagedObjectID : public foundation::NSObject {
 public:
  NSManagedObjectID(std::string storeIdentifier, std::string entityName, std::int64_t primaryKey)
      : storeIdentifier_(std::move(storeIdentifier)),
        entityName_(std::move(entityName)),
        primaryKey_(primaryKey) {}

  std::string className() const override { return "NSManagedObjectID"; }
  // "0x... <x-coredata://U/Conversation/p42>", as Core Data prints an ID.
  std::string description() const override;

  const std::string& storeIdentifier() const { return storeIdentifier_; }
  const std::string& entityName() const { return entityName_; }
  std::int64_t primaryKey() const { return primaryKey_; }
  // "x-coredata://<store UUID>/<entity>/p<key>".
  std::string URIText() const;
  std::shared_ptr<foundation::NSURL> URIRepresentation() const;

 private:
  std::string storeIdentifier_;
  std::string entityName_;
  std::int64_t primaryKey_;
};

class NSPersistentStore : public foundation::NSObject {
 public:
  // A store with its metadata and, for a store kept in a file, the file's URL.
  explicit NSPersistentStore(foundation::Dictionary metadata,
                             std::shared_ptr<const foundation::NSURL> url = nullptr)
      : metadata_(std::move(metadata)), url_(std::move(url)) {}

  std::string className() const override { return "NSPersistentStore"; }
  // "<NSPersistentStore: 0x...> (UUID)".
  std::string description() const override;

  const foundation::Dictionary& metadata() const { return metadata_; }
  // The metadata's "NSStoreUUID" when it is text; nullopt otherwise.
  std::optional<std::string> identifier() const;
  // Whether the metadata's model version hashes name `entity`.
  bool hasEntity(std::string_view entity) const;
  // The file URL of the store's file; nil for an in-memory store.
  const std::shared_ptr<const foundation::NSURL>& URL() const { return url_; }

 private:
  foundation::Dictionary metadata_;
  std::shared_ptr<const foundation::NSURL> url_;
};

class NSPersistentStoreCoordinator : public foundation::NSObject {
 public:
  explicit NSPersistentStoreCoordinator(
      std::vector<std::shared_ptr<const NSPersistentStore>> stores)
      : stores_(std::move(stores)) {}

  std::string className() const override { return "NSPersistentStoreCoordinator"; }

  // The stores in the order they were added.
  const std::vector<std::shared_ptr<const NSPersistentStore>>& persistentStores() const {
    return stores_;
  }

  // managedObjectIDForURIRepresentation: an ID for exactly
  // "x-coredata://<UUID of one of the stores>/<entity of that store>/p<decimal key>"
  // (the key 1 to 2^63-1, digits only); nullptr for a nil URL and for anything else.
  std::shared_ptr<const NSManagedObjectID> managedObjectIDForURIRepresentation(
      const std::shared_ptr<const foundation::NSURL>& url) const;

 private:
  std::vector<std::shared_ptr<const NSPersistentStore>> stores_;
};

}  // namespace platform::messenger
