#include "tweak/bridge/db_manager_capture.h"

#include <fmt/format.h>

#include "platform/foundation/log.h"
#include "platform/messenger/db_manager.h"
#include "platform/runtime/class_registry.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/viber_contract.h"

namespace tweak {

namespace pm = platform::messenger;
namespace sel = viber::selector;
using platform::foundation::describe;
using platform::foundation::NSLog;
using platform::runtime::MSHookMessageEx;

namespace {

// Takes the new reference before the old one is dropped: assigning a
// shared_ptr does both, in that order.
void capture(const std::shared_ptr<pm::DBManager>& manager) {
  processState().capturedManager = manager;
}

// A displaced implementation may be missing (the class did not define the
// method); calling it then answers nil or does nothing, as a message to a
// method that was never there would in this runtime.
template <class Sig, class... Args>
auto callDisplaced(const std::function<Sig>& displaced, Args&&... args) {
  using Result = typename std::function<Sig>::result_type;
  if (!displaced) return Result();
  return displaced(std::forward<Args>(args)...);
}

// "-[<DBManager: 0x...> " opening every call line.
std::string receiver(const pm::DBManager& self) {
  return fmt::format("-[<DBManager: {}> ", fmt::ptr(&self));
}

void hookInitialisers(pm::DBManagerClass& cls) {
  auto init = std::make_shared<std::function<pm::sig::Init>>();
  *init = MSHookMessageEx<pm::sig::Init>(cls, sel::init, [init](pm::DBManagerRef self) {
    capture(callDisplaced(*init, std::move(self)));
    if (settings().debugMode) NSLog("PXVIBER: DBM init");
    return capturedManager();
  });
  auto light = std::make_shared<std::function<pm::sig::Init>>();
  *light = MSHookMessageEx<pm::sig::Init>(cls, sel::initInLightweightMode,
                                          [light](pm::DBManagerRef self) {
                                            capture(callDisplaced(*light, std::move(self)));
                                            if (settings().debugMode) {
                                              NSLog("PXVIBER: DBM light init");
                                            }
                                            return capturedManager();
                                          });
  auto book = std::make_shared<std::function<pm::sig::InitWithAddressBook>>();
  *book = MSHookMessageEx<pm::sig::InitWithAddressBook>(
      cls, sel::initWithAddressBook, [book](pm::DBManagerRef self, pm::Id addressBook) {
        capture(callDisplaced(*book, std::move(self), std::move(addressBook)));
        // The line names the captured manager, not the address book.
        if (settings().debugMode) NSLog("PXVIBER: DBM AB init, {}", describe(capturedManager()));
        return capturedManager();
      });
}

// A one-argument conversation getter: call line, displaced call, result line.
// `keyword` is the selector without its colon.
template <class Sig, class Argument>
void hookGetter(pm::DBManagerClass& cls, const char* selector, std::string keyword) {
  auto displaced = std::make_shared<std::function<Sig>>();
  *displaced = MSHookMessageEx<Sig>(
      cls, selector, [displaced, keyword](pm::DBManager& self, Argument argument) {
        NSLog("{}{}:{}]", receiver(self), keyword, describe(argument));
        pm::ConversationRef result = callDisplaced(*displaced, self, std::move(argument));
        NSLog("{} = {}", keyword, describe(result));
        return result;
      });
}

void hookGetters(pm::DBManagerClass& cls) {
  hookGetter<pm::sig::GetConversationWithManagedObjectID, pm::ObjectIDRef>(
      cls, sel::getConversationWithManagedObjectID, "getConversationWithManagedObjectID");
  hookGetter<pm::sig::GetConversation, pm::Id>(cls, sel::getConversationWithPhoneNumIndexes,
                                               "getConversationWithPhoneNumIndexes");
  hookGetter<pm::sig::GetConversation, pm::Id>(cls, sel::getConversationWithContext,
                                               "getConversationWithContext");
  auto withNumber = std::make_shared<std::function<pm::sig::GetConversationWithIDPhoneNumber>>();
  *withNumber = MSHookMessageEx<pm::sig::GetConversationWithIDPhoneNumber>(
      cls, sel::getConversationWithIDPhoneNumber,
      [withNumber](pm::DBManager& self, pm::Id id, pm::Id phoneNumber) {
        NSLog("{}getConversationWithID:{} phoneNumber:{}]", receiver(self), describe(id),
              describe(phoneNumber));
        pm::ConversationRef result =
            callDisplaced(*withNumber, self, std::move(id), std::move(phoneNumber));
        // The same result line as getConversationWithID:.
        NSLog("getConversationWithID = {}", describe(result));
        return result;
      });
  hookGetter<pm::sig::GetConversation, pm::Id>(cls, sel::getConversationWithCanonizedNumbers,
                                               "getConversationWithCanonizedNumbers");
  hookGetter<pm::sig::GetConversation, pm::Id>(cls, sel::getCoversationWithCanonizedNumber,
                                               "getCoversationWithCanonizedNumber");
  hookGetter<pm::sig::GetConversation, pm::Id>(cls, sel::getConversationWithID,
                                               "getConversationWithID");
}

void hookSendAndMarkAsRead(pm::DBManagerClass& cls) {
  auto send = std::make_shared<std::function<pm::sig::SendMessageOfType>>();
  *send = MSHookMessageEx<pm::sig::SendMessageOfType>(
      cls, sel::sendMessageOfType,
      [send](pm::DBManager& self, pm::Id type, pm::Id text, pm::Id location, pm::Id conversation,
             pm::Id fileName, pm::Id attachmentUrl, pm::Id duration, pm::Id completion,
             pm::Id blockListContinueHandler) {
        // Every argument prints as an object, the duration included.
        NSLog(
            "{}sendMessageOfType:{} withText:{} location:{} conversation:{} fileName:{} "
            "attachmentUrl:{} duration:{} completion:{} blockListContinueHandler:{}]",
            receiver(self), describe(type), describe(text), describe(location),
            describe(conversation), describe(fileName), describe(attachmentUrl), describe(duration),
            describe(completion), describe(blockListContinueHandler));
        callDisplaced(*send, self, std::move(type), std::move(text), std::move(location),
                      std::move(conversation), std::move(fileName), std::move(attachmentUrl),
                      std::move(duration), std::move(completion),
                      std::move(blockListContinueHandler));
      });
  auto markAsRead = std::make_shared<std::function<pm::sig::MarkAsReadMessagesForConversation>>();
  *markAsRead = MSHookMessageEx<pm::sig::MarkAsReadMessagesForConversation>(
      cls, sel::markAsReadMessagesForConversation,
      [markAsRead](pm::DBManager& self, pm::Id conversation) {
        NSLog("{}markAsReadMessagesForConversation:{}]", receiver(self), describe(conversation));
        callDisplaced(*markAsRead, self, std::move(conversation));
      });
}

}  // namespace

void installDBManagerCapture() {
  NSLog("PXVIBER: ctor");
  // The autorelease pool of the phone has no counterpart: nothing here is
  // autoreleased, and the class lookup hands out no temporary objects.
  auto* cls = platform::runtime::lookUpClass<pm::DBManagerClass>(viber::kDBManagerClass);
  if (!cls) return;
  hookInitialisers(*cls);
  hookGetters(*cls);
  hookSendAndMarkAsRead(*cls);
}

std::shared_ptr<pm::DBManager> capturedManager() { return processState().capturedManager; }

}  // namespace tweak
