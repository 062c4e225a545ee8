// A messenger for tests: the class "DBManager" with in-memory implementations
// that record every call, so tests of code that hooks or calls the manager see
// exactly what reached the messenger.
//
// Its stores, conversations and attachments are whatever the test sets; the
// picture send keeps its completion for the test to call. What a send would
// write to the messenger's database is kept in stored(): a text send to a known
// conversation stores its text, a picture send stores a picture waiting for
// upload, and the upload marks it uploaded; storeNothing() stands for a
// database that refuses every write.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/messenger/db_manager.h"
#include "platform/runtime/class_registry.h"

namespace platform::messenger::testing {

class FakeMessenger {
 public:
  FakeMessenger() : class_(std::make_shared<DBManagerClass>()) { define(); }

  // The class, to register under "DBManager" (registerClass) or hook directly.
  const std::shared_ptr<DBManagerClass>& cls() const { return class_; }
  void registerClass() { runtime::registerClass(class_); }

  // --- what the messenger holds ---
  // The coordinator's stores, in order: each an (NSStoreUUID, entities) pair.
  void setStores(const std::vector<std::pair<std::string, std::vector<std::string>>>& stores) {
    std::vector<std::shared_ptr<const NSPersistentStore>> list;
    for (const auto& [uuid, entities] : stores) {
      foundation::Dictionary hashes;
      for (const auto& e : entities) hashes[e] = foundation::Value(foundation::Data{1, 2, 3});
      list.push_back(std::make_shared<NSPersistentStore>(
          foundation::Dictionary{{kStoreUUIDKey, foundation::Value(uuid)},
                                 {kStoreModelVersionHashesKey, foundation::Value(hashes)}}));
    }
    coordinator_ = std::make_shared<NSPersistentStoreCoordinator>(std::move(list));
  }
  // A manager without a coordinator.
  void removeCoordinator() { coordinator_ = nullptr; }
  void addConversation(std::int64_t key) { conversations_.insert(key); }
  void addAttachment(const std::string& name) { attachments_.insert(name); }
  // The initialisers answer nil from now on.
  void failInitialisers() { initAnswersNil_ = true; }
  // Sends and uploads write nothing while set (a locked or full database).
  void storeNothing(bool on) { storeNothing_ = on; }

  // A message as the messenger's database would hold it.
  struct StoredMessage {
    std::int64_t key = 0;
    std::int64_t conversation = 0;
    std::optional<std::string> text;
    std::optional<std::string> attachment;
    bool uploaded = false;
    double date = 0;  // seconds since 1970, from the clock set
  };
  // The clock that dates the messages stored from now on.
  void setClock(std::function<double()> clock) { clock_ = std::move(clock); }
  std::vector<StoredMessage>& stored() { return stored_; }

  // --- what reached it ---
  // One entry per call, "selector(arguments)" with each argument's "%@".
  const std::vector<std::string>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // The completions of the picture sends, in call order.
  std::vector<PictureCompletion>& completions() { return completions_; }
  // Conversation objects handed out, in order (to compare identities).
  const std::vector<ConversationRef>& conversationsHandedOut() const { return handedOut_; }

 private:
  static std::string d(const Id& o) { return foundation::describe(o); }

  ConversationRef conversation(std::int64_t key) {
    if (!conversations_.count(key)) return nullptr;
    auto c = std::make_shared<Conversation>(
        std::make_shared<NSManagedObjectID>("FAKE", kConversationEntity, key), std::nullopt);
    handedOut_.push_back(c);
    return c;
  }

  void define() {
    auto& m = class_->methods();
    m.define<sig::Init>(selector::init, [this](DBManagerRef self) {
      calls_.push_back("init");
      return initAnswersNil_ ? nullptr : self;
    });
    m.define<sig::Init>(selector::initInLightweightMode, [this](DBManagerRef self) {
      calls_.push_back("initInLightweightMode");
      return initAnswersNil_ ? nullptr : self;
    });
    m.define<sig::InitWithAddressBook>(selector::initWithAddressBook,
                                       [this](DBManagerRef self, Id book) {
                                         calls_.push_back("initWithAddressBook(" + d(book) + ")");
                                         return initAnswersNil_ ? nullptr : self;
                                       });
    m.define<sig::GetConversationWithManagedObjectID>(
        selector::getConversationWithManagedObjectID, [this](DBManager&, ObjectIDRef id) {
          calls_.push_back("getConversationWithManagedObjectID(" +
                           (id ? id->URIText() : std::string("(null)")) + ")");
          if (!id || id->entityName() != kConversationEntity) return ConversationRef();
          return conversation(id->primaryKey());
        });
    for (const char* s :
         {selector::getConversationWithPhoneNumIndexes, selector::getConversationWithContext,
          selector::getConversationWithCanonizedNumbers,
          selector::getCoversationWithCanonizedNumber, selector::getConversationWithID}) {
      std::string name = s;
      m.define<sig::GetConversation>(s, [this, name](DBManager&, Id a) {
        calls_.push_back(name + "(" + d(a) + ")");
        auto* text = dynamic_cast<const foundation::NSString*>(a.get());
        return text ? conversation(foundation::stringLongLongValue(text->value())) : nullptr;
      });
    }
    m.define<sig::GetConversationWithIDPhoneNumber>(
        selector::getConversationWithIDPhoneNumber, [this](DBManager&, Id id, Id number) {
          calls_.push_back("getConversationWithID:phoneNumber:(" + d(id) + "," + d(number) + ")");
          auto* text = dynamic_cast<const foundation::NSString*>(id.get());
          return text ? conversation(foundation::stringLongLongValue(text->value())) : nullptr;
        });
    m.define<sig::SendMessageOfType>(
        selector::sendMessageOfType,
        [this](DBManager&, Id type, Id text, Id location, Id conv, Id fileName, Id url, Id duration,
               Id completion, Id handler) {
          calls_.push_back("sendMessageOfType(" + d(type) + "," + d(text) + "," + d(location) +
                           "," + key(conv) + "," + d(fileName) + "," + d(url) + "," + d(duration) +
                           "," + d(completion) + "," + d(handler) + ")");
          store(conv, text, nullptr);
        });
    m.define<sig::SendPictureMessage>(
        selector::sendPictureMessageWithConversation,
        [this](DBManager&, Id conv, Id name, Id caption, Id url, PictureCompletion done) {
          calls_.push_back("sendPictureMessage(" + key(conv) + "," + d(name) + "," + d(caption) +
                           "," + d(url) + "," + (done ? "completion" : "(null)") + ")");
          completions_.push_back(std::move(done));
          store(conv, caption, name);
        });
    m.define<sig::GetAttachmentWithName>(
        selector::getAttachmentWithName, [this](DBManager&, Id name) -> AttachmentRef {
          calls_.push_back("getAttachmentWithName(" + d(name) + ")");
          auto* text = dynamic_cast<const foundation::NSString*>(name.get());
          if (!text || !attachments_.count(text->value())) return nullptr;
          return std::make_shared<Attachment>(
              std::make_shared<NSManagedObjectID>("FAKE", kAttachmentEntity, 1), text->value(),
              "/fake/" + text->value());
        });
    m.define<sig::UploadAttachment>(
        selector::uploadAttachment, [this](DBManager&, AttachmentRef a, bool resending) {
          calls_.push_back("uploadAttachment(" + (a ? a->name() : "(null)") + "," +
                           (resending ? "YES" : "NO") + ")");
          if (a) markUploaded(a->name());
        });
    m.define<sig::MarkAsReadMessagesForConversation>(
        selector::markAsReadMessagesForConversation, [this](DBManager&, Id conv) {
          calls_.push_back("markAsReadMessagesForConversation(" + key(conv) + ")");
        });
    m.define<sig::PersistentStoreCoordinator>(selector::persistentStoreCoordinator,
                                              [this](DBManager&) {
                                                calls_.push_back("persistentStoreCoordinator");
                                                return coordinator_;
                                              });
  }

  void store(const Id& conversation, const Id& text, const Id& attachment) {
    auto* c = dynamic_cast<const Conversation*>(conversation.get());
    if (storeNothing_ || !c || !conversations_.count(c->primaryKey())) return;
    auto textOf = [](const Id& o) -> std::optional<std::string> {
      auto* s = dynamic_cast<const foundation::NSString*>(o.get());
      return s ? std::optional<std::string>(s->value()) : std::nullopt;
    };
    if (!attachment && !textOf(text)) return;
    std::int64_t key = 100;
    for (const auto& m : stored_) key = std::max(key, m.key + 1);
    stored_.push_back(
        {key, c->primaryKey(), textOf(text), textOf(attachment), false, clock_ ? clock_() : 0});
  }

  void markUploaded(const std::string& name) {
    if (storeNothing_) return;
    for (auto& m : stored_) {
      if (m.attachment == name) m.uploaded = true;
    }
  }

  // A conversation argument as "conversation <key>", any other object as "%@".
  static std::string key(const Id& o) {
    if (auto* c = dynamic_cast<const Conversation*>(o.get())) {
      return "conversation " + std::to_string(c->primaryKey());
    }
    return d(o);
  }

  std::shared_ptr<DBManagerClass> class_;
  CoordinatorRef coordinator_;
  std::set<std::int64_t> conversations_;
  std::set<std::string> attachments_;
  bool initAnswersNil_ = false;
  bool storeNothing_ = false;
  std::function<double()> clock_;
  std::vector<StoredMessage> stored_;
  std::vector<std::string> calls_;
  std::vector<PictureCompletion> completions_;
  std::vector<ConversationRef> handedOut_;
};

}  // namespace platform::messenger::testing
