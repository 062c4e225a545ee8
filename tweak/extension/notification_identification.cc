// getUserIdentifier: the conversation that a Viber notification belongs to,
// from the token of its payload or else from its phone number and group; the
// sender name before the first colon of its text goes into the nickname table.
#include "platform/foundation/keyed_archive.h"
#include "platform/foundation/log.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/conversation_message.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

namespace {

using platform::foundation::Dictionary;
using platform::foundation::find;
using platform::foundation::Value;
namespace sb = platform::springboard;

// The payload of the bulletin, by the kind of notification; null when absent.
Value payloadOf(const sb::BBBulletin& bulletin) {
  const Value* type = find(bulletin.context, sb::kNotificationTypeKey);
  const std::string* kind = type ? type->asString() : nullptr;
  if (kind && *kind == sb::kNotificationTypeLocal) {
    // A local notification travels archived; only an object that answers
    // userInfo gives a payload.
    const Value* archived = find(bulletin.context, sb::kLocalNotificationKey);
    if (!archived || !archived->asData()) return Value();
    auto object = platform::foundation::unarchiveObjectWithData(*archived->asData());
    if (!object || !object->object) return Value();
    return sb::userInfoOf(*object->object).value_or(Value());
  }
  const char* key =
      kind && *kind == sb::kNotificationTypeRemote ? sb::kRemoteNotificationKey : sb::kUserInfoKey;
  const Value* payload = find(bulletin.context, key);
  return payload ? *payload : Value();
}

// objectForKey: of the payload; a payload that is not a dictionary has no keys.
const Value* payloadEntry(const Value& payload, std::string_view key) {
  const Dictionary* d = payload.asDictionary();
  return d ? find(*d, key) : nullptr;
}

// The text form of a payload value: a number's stringValue, a string itself,
// nil for nil, and for any other object the text that "%@" gives it.
std::optional<std::string> textForm(const Value* value) {
  if (!value || value->isNull()) return std::nullopt;
  if (auto s = value->stringValue()) return s;
  if (const std::string* s = value->asString()) return *s;
  return value->description();
}

// componentsSeparatedByString:@":" and its first part, when there are two or more.
std::optional<std::string> senderName(const std::optional<std::string>& message) {
  if (!message) return std::nullopt;
  std::size_t colon = message->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return message->substr(0, colon);
}

void logBulletin(const sb::BBBulletin& b, const Value& payload) {
  platform::foundation::NSLog(
      "PXVIBER: getUserIdentifier bbulletin: {}, \r\n\r\nuserinfo: {}, \r\n\r\nDefault action: "
      "{}, \r\n\r\nACK action: {}, \r\n\r\nAlt action: {}, \r\n\r\nPublishre bb ID: {}, "
      "\r\n\r\nRecord ID: {}\r\n\r\ncontext: {}\r\n\r\nactions: {}\r\n\r\nsupplementary actions: "
      "{}",
      b.description(), payload.description(), b.defaultAction.description(),
      b.acknowledgeAction.description(), b.alternateAction.description(),
      b.publisherBulletinID.description(), b.recordID.description(), Value(b.context).description(),
      b.actions.description(), b.supplementaryActions.description());
}

}  // namespace

platform::couria::UserIdentifier ORVViberCouriaExtension::getUserIdentifier(
    const sb::BBBulletin& bulletin) {
  NicknameTable& nicknames = createNicknameTableIfNeeded();
  Value payload = payloadOf(bulletin);
  if (settings().debugMode) logBulletin(bulletin, payload);

  const Value* messageToken = payloadEntry(payload, "messageToken");
  const Value* mt = payloadEntry(payload, "mt");
  std::optional<std::string> token =
      messageToken && !messageToken->isNull() ? textForm(messageToken) : textForm(mt);
  std::optional<std::string> sender = senderName(bulletin.message);

  std::optional<std::string> result = getConversationIDForMessageWithToken(token);
  if (!result) {
    result = getConversationIDForNumber(textForm(payloadEntry(payload, "fn")),
                                        textForm(payloadEntry(payload, "gi")));
  }
  if (result && sender) nicknames[*result] = *sender;
  if (settings().debugMode) {
    platform::foundation::NSLog("PXVIBER: returning conversation ID {} for token: {}",
                                platform::foundation::describe(result),
                                platform::foundation::describe(token));
  }
  return result;
}

}  // namespace tweak
