#include "hosts/springboard/reply_service.h"

#include <filesystem>

#include "hosts/springboard/application_services.h"
#include "platform/couria/couria.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/class_registry.h"

namespace hosts {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

constexpr const char* kRequestKeys[] = {"messageText", "conversationID", "messagePictureFile",
                                        "messagePictureFileWithPath"};
constexpr const char* kSettingsDevicePath =
    "/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";

}  // namespace

Dictionary answerReply(const Dictionary& request) {
  auto* cls = platform::runtime::lookUpClass<platform::couria::CouriaClass>("Couria");
  auto couria = cls ? cls->sharedInstance() : nullptr;
  if (!couria || !couria->openPanel()) {
    throw platform::Error("no reply panel is open (push a notification first)");
  }
  const auto& panel = *couria->openPanel();
  auto extension = couria->extensionForApplication(panel.application);
  if (!extension) throw platform::Error("no extension for " + panel.application);

  foundation::Id content;
  if (const Value* text = foundation::find(request, "text"); text && text->asString()) {
    content = std::make_shared<foundation::NSString>(*text->asString());
  } else if (const Value* photo = foundation::find(request, "photo"); photo && photo->asString()) {
    content =
        foundation::NSURL::fileURLWithPath(std::filesystem::absolute(*photo->asString()).string());
  } else {
    throw platform::Error("a reply needs a text or a photo");
  }

  size_t before = applicationActions().size();
  extension->sendMessage(std::make_shared<platform::couria::ReplyMessage>(content), panel.user);

  Dictionary answer;
  if (panel.user) answer["user"] = Value(*panel.user);
  Dictionary mailbox;
  if (auto file = foundation::readDictionaryFile(foundation::hostPath(kSettingsDevicePath))) {
    for (const char* key : kRequestKeys) {
      if (const Value* v = foundation::find(*file, key)) mailbox[key] = *v;
    }
  }
  answer["mailbox"] = Value(mailbox);
  foundation::Array wake;
  auto actions = applicationActions();
  for (size_t i = before; i < actions.size(); ++i) wake.push_back(Value(actions[i]));
  answer["wake"] = Value(wake);
  return answer;
}

}  // namespace hosts
