// The messenger's model objects that its database manager hands out: a
// conversation (a row of ZCONVERSATION) and an attachment (a picture file that a
// message carries). Each is a snapshot taken when it was fetched, identified by
// its managed object ID; the database stays the truth.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/object.h"
#include "platform/messenger/core_data.h"

namespace platform::messenger {

inline constexpr const char* kConversationEntity = "Conversation";
inline constexpr const char* kAttachmentEntity = "Attachment";

class Conversation : public foundation::NSObject {
 public:
  Conversation(std::shared_ptr<const NSManagedObjectID> objectID,
               std::optional<std::string> groupID)
      : objectID_(std::move(objectID)), groupID_(std::move(groupID)) {}

  std::string className() const override { return "Conversation"; }
  // "<Conversation: 0x...> (entity: Conversation; id: <objectID>; groupID: G)".
  std::string description() const override;

  const std::shared_ptr<const NSManagedObjectID>& objectID() const { return objectID_; }
  std::int64_t primaryKey() const { return objectID_->primaryKey(); }
  // ZGROUPID; nullopt for a one-to-one chat.
  const std::optional<std::string>& groupID() const { return groupID_; }

 private:
  std::shared_ptr<const NSManagedObjectID> objectID_;
  std::optional<std::string> groupID_;
};

class Attachment : public foundation::NSObject {
 public:
  Attachment(std::shared_ptr<const NSManagedObjectID> objectID, std::string name, std::string path)
      : objectID_(std::move(objectID)), name_(std::move(name)), path_(std::move(path)) {}

  std::string className() const override { return "Attachment"; }
  // "<Attachment: 0x...> (name: N; id: <objectID>)".
  std::string description() const override;

  const std::shared_ptr<const NSManagedObjectID>& objectID() const { return objectID_; }
  std::int64_t primaryKey() const { return objectID_->primaryKey(); }
  // The file name under the attachments folder, and its host path.
  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }

 private:
  std::shared_ptr<const NSManagedObjectID> objectID_;
  std::string name_;
  std::string path_;
};

// An array of objects, as the getters that take several numbers receive them.
class NSArray : public foundation::NSObject {
 public:
  explicit NSArray(std::vector<foundation::Id> objects) : objects_(std::move(objects)) {}

  std::string className() const override { return "NSArray"; }
  // The old-style list "(a, b)" with each object's description.
  std::string description() const override;

  const std::vector<foundation::Id>& objects() const { return objects_; }

 private:
  std::vector<foundation::Id> objects_;
};

}  // namespace platform::messenger
