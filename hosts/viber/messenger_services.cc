#include "hosts/viber/messenger_services.h"

#include "platform/foundation/bundle.h"
#include "platform/foundation/log.h"
#include "platform/messenger/data_container.h"
#include "platform/messenger/messenger_database.h"
#include "platform/messenger/messenger_methods.h"
#include "platform/runtime/class_registry.h"

namespace hosts {

namespace foundation = platform::foundation;
namespace pm = platform::messenger;
using foundation::Dictionary;
using foundation::Value;

namespace {

// The messenger's own state: its class and the manager it works with. The
// messenger holds its manager strongly, as the app does, besides whatever a
// tweak keeps.
struct Messenger {
  std::shared_ptr<pm::DBManagerClass> cls;
  pm::DBManagerRef manager;
};

Messenger& messenger() {
  static Messenger m;
  return m;
}

Dictionary managerAnswer(const pm::DBManagerRef& manager) {
  if (!manager) return {{"error", Value("the messenger could not open its database")}};
  return {{"manager", Value(manager->description())},
          {"store", Value(manager->database() ? manager->database()->conversationStoreUUID()
                                              : std::string())}};
}

Dictionary refresh(const Dictionary& request) {
  const Value* light = foundation::find(request, "lightweight");
  bool lightweight = light && light->boolValue().value_or(false);
  auto fresh = messenger().cls->alloc();
  messenger().manager = lightweight ? fresh->initInLightweightMode() : fresh->init();
  return managerAnswer(messenger().manager);
}

Dictionary messages(const Dictionary& request) {
  const Value* conversation = foundation::find(request, "conversation");
  auto key = conversation ? conversation->longLongValue() : std::nullopt;
  if (!key) return {{"error", Value("a request for messages needs a conversation")}};
  auto manager = messenger().manager;
  if (!manager || !manager->database()) return {{"error", Value("the messenger has no manager")}};
  if (!manager->database()->conversation(*key)) {
    return {{"error", Value(platform::messenger::noConversationText(*key))}};
  }
  foundation::Array list;
  for (auto& m : manager->database()->messages(*key)) list.push_back(Value(std::move(m)));
  return {{"messages", Value(std::move(list))},
          {"unreadCount", Value(static_cast<long long>(manager->database()->unreadCount(*key)))}};
}

}  // namespace

void registerMessengerServices() {
  auto container = pm::findDataContainer(foundation::mainBundleIdentifier().value_or("com.viber"));
  if (!container) foundation::NSLog("DBManager: no data container for this application");
  messenger().cls = std::make_shared<pm::DBManagerClass>();
  pm::defineDBManagerMethods(*messenger().cls, {.dataContainer = container.value_or(""),
                                                .loop = platform::runloop::mainRunLoop()});
  platform::runtime::registerClass(messenger().cls);
}

void startMessenger(platform::runloop::RunLoop&) {
  auto addressBook = std::make_shared<foundation::NSGenericObject>("ABAddressBook");
  messenger().manager = messenger().cls->alloc()->initWithAddressBook(addressBook);
}

std::map<std::string, platform::runtime::HostRequestHandler> messengerRequestHandlers() {
  return {{"refresh", refresh}, {"messages", messages}};
}

}  // namespace hosts
