// ORVCouriaViberMessage, the message object handed to Couria, and the nickname
// table: the sender name that the latest notification of each conversation
// showed, filled by getUserIdentifier and read by getNickname.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/couria/couria.h"
#include "platform/foundation/object.h"
#include "platform/foundation/value.h"
#include "tweak/core/process_state.h"

namespace tweak {

// A plain value object with six properties. Every accessor is atomic, as a
// synthesized atomic property's is: a getter never sees a value that a
// concurrent setter has half written, and the object getters return copies
// that stay valid for the caller. A new message has every object property nil
// and outgoing NO.
class ORVCouriaViberMessage final : public platform::couria::CouriaMessage {
 public:
  // What Couria shows; every message the extension makes holds an NSString.
  platform::foundation::Id content() const override;
  void setContent(platform::foundation::Id content);

  // YES for a message the user sent.
  bool outgoing() const override;
  void setOutgoing(bool outgoing);

  std::optional<platform::foundation::Date> timestamp() const override;
  void setTimestamp(std::optional<platform::foundation::Date> timestamp);

  // The author's ZPHONENUMBERINDEX key as decimal text; "" for the user's own.
  std::optional<std::string> authorPhoneNumIndex() const;
  void setAuthorPhoneNumIndex(std::optional<std::string> index);

  std::optional<std::string> authorDisplayName() const;
  void setAuthorDisplayName(std::optional<std::string> name);

  // The conversation key as decimal text.
  std::optional<std::string> conversation() const;
  void setConversation(std::optional<std::string> conversation);

  // Key-value coding of the six properties (content as its description).
  std::optional<platform::foundation::Value> valueForKey(std::string_view key) const override;

 private:
  // One lock for the six properties: a message is made by the thousand.
  template <class T>
  T read(const T& property) const {
    std::lock_guard lock(mutex_);
    return property;
  }
  template <class T>
  void write(T& property, T value) {
    std::lock_guard lock(mutex_);
    property = std::move(value);
  }

  mutable std::mutex mutex_;
  platform::foundation::Id content_;
  bool outgoing_ = false;
  std::optional<platform::foundation::Date> timestamp_;
  std::optional<std::string> authorPhoneNumIndex_;
  std::optional<std::string> authorDisplayName_;
  std::optional<std::string> conversation_;
};

// The nickname table (process_state.h): conversation identifier -> sender
// name. nullptr until getUserIdentifier first runs; never shrinks. Used on the
// main thread only.
NicknameTable* nicknameTable();
// Creates the table, empty, when it does not exist yet; answers it.
NicknameTable& createNicknameTableIfNeeded();

}  // namespace tweak
