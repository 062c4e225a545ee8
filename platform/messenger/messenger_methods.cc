#include "platform/messenger/messenger_methods.h"

#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/messenger/messenger_database.h"

namespace platform::messenger {

using foundation::NSLog;

namespace {

// Runs one method's work; a database failure is logged and answers the
// default value (nil), as the messenger never lets one escape to its caller.
template <class Work>
auto guarded(const char* what, Work work) -> decltype(work()) {
  try {
    return work();
  } catch (const std::exception& e) {
    NSLog("DBManager: {} failed: {}", what, e.what());
    return decltype(work())();
  }
}

// A method of one text argument: nil without a database or when the argument
// is not a string; else what `work` answers for the database and the text.
template <class Work>
auto withText(DBManager& self, const Id& argument, const char* what, Work work)
    -> decltype(work(std::declval<MessengerDatabase&>(), std::string())) {
  auto db = self.database();
  auto text = textOf(argument);
  if (!db || !text) return {};
  return guarded(what, [&] { return work(*db, *text); });
}

const Conversation* asConversation(const Id& object) {
  return dynamic_cast<const Conversation*>(object.get());
}

// Numbers of a list argument: an NSArray of strings, or a single string.
std::vector<std::string> textsOf(const Id& object) {
  std::vector<std::string> out;
  if (auto* list = dynamic_cast<const NSArray*>(object.get())) {
    for (const auto& o : list->objects()) {
      if (auto t = textOf(o)) out.push_back(*t);
    }
  } else if (auto t = textOf(object)) {
    out.push_back(*t);
  }
  return out;
}

class Methods {
 public:
  explicit Methods(MessengerEnvironment environment) : env_(std::move(environment)) {}

  DBManagerRef initialise(DBManagerRef self, const char* mode) {
    try {
      auto database = MessengerDatabase::open(env_.dataContainer);
      NSLog("DBManager: {} opened the store {}", mode, database->conversationStoreUUID());
      self->setDatabase(std::move(database));
      return self;
    } catch (const std::exception& e) {
      NSLog("DBManager: {} cannot open the database: {}", mode, e.what());
      return nullptr;
    }
  }

  void sendText(DBManager& self, const Id& type, const Id& text, const Id& conversation) {
    auto* c = asConversation(conversation);
    auto body = textOf(text);
    if (!self.database() || textOf(type) != "text" || !c || !body) {
      NSLog("DBManager: refused a message of type {} with text {} to {}",
            foundation::describe(type), foundation::describe(text),
            foundation::describe(conversation));
      return;
    }
    guarded("text send", [&] {
      auto m = self.database()->sendText(c->primaryKey(), *body);
      NSLog("DBManager: sent text message {} (token {}) to conversation {}: {}", m.pk,
            m.token.value_or(0), m.conversation, *body);
      return 0;
    });
  }

  void sendPicture(DBManager& self, const Id& conversation, const Id& name, const Id& caption,
                   PictureCompletion completion) {
    auto* c = asConversation(conversation);
    auto file = textOf(name);
    bool sent = false;
    if (self.database() && c && file) {
      sent = guarded("picture send", [&] {
        auto m = self.database()->sendPicture(c->primaryKey(), *file, textOf(caption));
        if (m) {
          NSLog(
              "DBManager: sent picture message {} (token {}) with attachment {} to "
              "conversation {}",
              m->pk, m->token.value_or(0), *file, m->conversation);
        }
        return m.has_value();
      });
    }
    if (!sent) {
      NSLog("DBManager: refused a picture message with attachment {} to {}",
            foundation::describe(name), foundation::describe(conversation));
    }
    if (!completion) return;
    auto loop = env_.loop ? env_.loop : runloop::mainRunLoop();
    if (loop) loop->post([completion = std::move(completion), sent] { completion(sent); });
  }

  MessengerEnvironment env_;
};

}  // namespace

std::optional<std::string> textOf(const Id& object) {
  if (auto* s = dynamic_cast<const foundation::NSString*>(object.get())) return s->value();
  return std::nullopt;
}

void defineDBManagerMethods(DBManagerClass& cls, MessengerEnvironment environment) {
  auto methods = std::make_shared<Methods>(std::move(environment));
  auto& table = cls.methods();
  table.define<sig::Init>(selector::init, [methods](DBManagerRef self) {
    return methods->initialise(std::move(self), "init");
  });
  table.define<sig::Init>(selector::initInLightweightMode, [methods](DBManagerRef self) {
    return methods->initialise(std::move(self), "initInLightweightMode");
  });
  table.define<sig::InitWithAddressBook>(
      selector::initWithAddressBook, [methods](DBManagerRef self, Id) {
        return methods->initialise(std::move(self), "initWithAddressBook:");
      });
  table.define<sig::GetConversationWithManagedObjectID>(
      selector::getConversationWithManagedObjectID, [](DBManager& self, ObjectIDRef id) {
        auto db = self.database();
        if (!db || !id || id->entityName() != kConversationEntity ||
            id->storeIdentifier() != db->conversationStoreUUID()) {
          return ConversationRef();
        }
        return guarded("conversation lookup", [&] { return db->conversation(id->primaryKey()); });
      });
  table.define<sig::GetConversation>(selector::getConversationWithID, [](DBManager& self, Id id) {
    return withText(self, id, "group lookup", [](MessengerDatabase& db, const std::string& group) {
      return db.conversationForGroup(group);
    });
  });
  table.define<sig::GetConversationWithIDPhoneNumber>(
      selector::getConversationWithIDPhoneNumber, [](DBManager& self, Id id, Id phoneNumber) {
        auto db = self.database();
        if (!db) return ConversationRef();
        return guarded("conversation lookup", [&] {
          if (auto group = textOf(id)) return db->conversationForGroup(*group);
          if (auto number = textOf(phoneNumber)) return db->conversationForNumber(*number);
          return ConversationRef();
        });
      });
  table.define<sig::GetConversation>(
      selector::getCoversationWithCanonizedNumber, [](DBManager& self, Id number) {
        return withText(self, number, "number lookup",
                        [](MessengerDatabase& db, const std::string& text) {
                          return db.conversationForNumber(text);
                        });
      });
  table.define<sig::GetConversation>(
      selector::getConversationWithCanonizedNumbers, [](DBManager& self, Id numbers) {
        auto db = self.database();
        if (!db) return ConversationRef();
        return guarded("numbers lookup",
                       [&] { return db->conversationForNumbers(textsOf(numbers)); });
      });
  table.define<sig::GetConversation>(
      selector::getConversationWithPhoneNumIndexes, [](DBManager& self, Id indexes) {
        auto db = self.database();
        if (!db) return ConversationRef();
        std::vector<std::int64_t> keys;
        for (const auto& t : textsOf(indexes)) keys.push_back(foundation::stringLongLongValue(t));
        return guarded("members lookup",
                       [&] { return db->conversationForPhoneNumIndexes(std::move(keys)); });
      });
  // The context of a conversation is one of its messages, named by its token.
  table.define<sig::GetConversation>(
      selector::getConversationWithContext, [](DBManager& self, Id context) {
        return withText(self, context, "token lookup",
                        [](MessengerDatabase& db, const std::string& token) {
                          return db.conversationForToken(foundation::stringLongLongValue(token));
                        });
      });
  table.define<sig::SendMessageOfType>(
      selector::sendMessageOfType,
      [methods](DBManager& self, Id type, Id text, Id, Id conversation, Id, Id, Id, Id, Id) {
        methods->sendText(self, type, text, conversation);
      });
  table.define<sig::SendPictureMessage>(selector::sendPictureMessageWithConversation,
                                        [methods](DBManager& self, Id conversation, Id name,
                                                  Id caption, Id, PictureCompletion completion) {
                                          methods->sendPicture(self, conversation, name, caption,
                                                               std::move(completion));
                                        });
  table.define<sig::GetAttachmentWithName>(
      selector::getAttachmentWithName, [](DBManager& self, Id name) {
        return withText(
            self, name, "attachment lookup",
            [](MessengerDatabase& db, const std::string& text) { return db.attachment(text); });
      });
  table.define<sig::UploadAttachment>(
      selector::uploadAttachment, [](DBManager& self, AttachmentRef attachment, bool resending) {
        auto db = self.database();
        if (!db || !attachment) return;
        guarded("upload", [&] {
          db->markUploaded(*attachment);
          NSLog("DBManager: uploaded attachment {}{}", attachment->name(),
                resending ? " (resent)" : "");
          return 0;
        });
      });
  table.define<sig::MarkAsReadMessagesForConversation>(selector::markAsReadMessagesForConversation,
                                                       [](DBManager& self, Id conversation) {
                                                         auto db = self.database();
                                                         auto* c = asConversation(conversation);
                                                         if (!db || !c) return;
                                                         guarded("mark as read", [&] {
                                                           db->markRead(c->primaryKey());
                                                           return 0;
                                                         });
                                                       });
  table.define<sig::PersistentStoreCoordinator>(selector::persistentStoreCoordinator,
                                                [](DBManager& self) {
                                                  auto db = self.database();
                                                  return db ? db->coordinator() : CoordinatorRef();
                                                });
}

}  // namespace platform::messenger
