#include "tweak/extension/conversation_message.h"

#include <memory>

#include "platform/foundation/log.h"
#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

using platform::foundation::Date;
using platform::foundation::Id;

Id ORVCouriaViberMessage::content() const { return read(content_); }
void ORVCouriaViberMessage::setContent(Id content) { write(content_, std::move(content)); }

bool ORVCouriaViberMessage::outgoing() const { return read(outgoing_); }
void ORVCouriaViberMessage::setOutgoing(bool outgoing) { write(outgoing_, outgoing); }

std::optional<Date> ORVCouriaViberMessage::timestamp() const { return read(timestamp_); }
void ORVCouriaViberMessage::setTimestamp(std::optional<Date> timestamp) {
  write(timestamp_, timestamp);
}

std::optional<std::string> ORVCouriaViberMessage::authorPhoneNumIndex() const {
  return read(authorPhoneNumIndex_);
}
void ORVCouriaViberMessage::setAuthorPhoneNumIndex(std::optional<std::string> index) {
  write(authorPhoneNumIndex_, std::move(index));
}

std::optional<std::string> ORVCouriaViberMessage::authorDisplayName() const {
  return read(authorDisplayName_);
}
void ORVCouriaViberMessage::setAuthorDisplayName(std::optional<std::string> name) {
  write(authorDisplayName_, std::move(name));
}

std::optional<std::string> ORVCouriaViberMessage::conversation() const {
  return read(conversation_);
}
void ORVCouriaViberMessage::setConversation(std::optional<std::string> conversation) {
  write(conversation_, std::move(conversation));
}

std::optional<platform::foundation::Value> ORVCouriaViberMessage::valueForKey(
    std::string_view key) const {
  using platform::foundation::Value;
  auto text = [](const std::optional<std::string>& s) { return s ? Value(*s) : Value(); };
  if (key == "content") {
    Id c = content();
    return c ? Value(c->description()) : Value();
  }
  if (key == "outgoing") return Value(outgoing());
  if (key == "timestamp") {
    auto t = timestamp();
    return t ? Value(*t) : Value();
  }
  if (key == "authorPhoneNumIndex") return text(authorPhoneNumIndex());
  if (key == "authorDisplayName") return text(authorDisplayName());
  if (key == "conversation") return text(conversation());
  return std::nullopt;
}

NicknameTable* nicknameTable() {
  auto& table = processState().nicknames;
  return table ? &*table : nullptr;
}

NicknameTable& createNicknameTableIfNeeded() {
  auto& table = processState().nicknames;
  if (!table) table.emplace();
  return *table;
}

std::optional<std::string> ORVViberCouriaExtension::getNickname(
    const platform::couria::UserIdentifier& user) {
  NicknameTable* table = nicknameTable();
  if (!table || !user) return std::nullopt;
  auto it = table->find(*user);
  if (it == table->end()) return std::nullopt;
  return it->second;
}

bool ORVViberCouriaExtension::isMessageOfTextType(const platform::couria::CouriaMessage& message) {
  Id content = message.content();
  // Written whatever debugMode says: the choice of the send path is worth a line.
  platform::foundation::NSLog("PXVIBER:  message class is {}, message is {}",
                              content ? content->className() : "(null)",
                              platform::foundation::describe(content));
  return dynamic_cast<const platform::foundation::NSString*>(content.get()) != nullptr;
}

}  // namespace tweak
