// Viber's database read back inside the messenger, to confirm a send: a
// request counts as delivered only when the database holds the outgoing text
// message, or the picture message with its attachment uploaded.
//
// The database is the file of the manager's conversation store (Core Data
// keeps it in "Documents/Contacts.data"); it is opened read-only for one
// request and closed with the object. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::messenger {
class DBManager;
}

namespace tweak {

// What a look-up of the database answered: whether the database could be
// read at all (false: busy, locked, damaged... the answer is not known), and
// when it could, the row found, if any. A caller that must not act twice acts
// only on a readable answer.
template <class T>
struct Lookup {
  bool readable = false;
  std::optional<T> found;
};

struct StoredPicture {
  std::int64_t messageKey = 0;
  bool uploaded = false;  // the message has left the pending state
};

class MessageStore {
 public:
  virtual ~MessageStore() = default;
  // The highest message key (Z_PK of ZVIBERMESSAGE), 0 for none; nullopt when
  // the database cannot be read now.
  virtual std::optional<std::int64_t> lastMessageKey() = 0;
  // The highest key of a message dated before `unixTime` (seconds since 1970),
  // 0 for none; nullopt when the database cannot be read now.
  virtual std::optional<std::int64_t> lastMessageKeyBefore(double unixTime) = 0;
  // The first outgoing text message (no author, no attachment) of
  // `conversation` after `afterKey` whose text is `text`.
  virtual Lookup<std::int64_t> outgoingText(std::int64_t conversation, const std::string& text,
                                            std::int64_t afterKey) = 0;
  // The newest outgoing picture message of `conversation` after `afterKey`
  // carrying the attachment `name`.
  virtual Lookup<StoredPicture> outgoingPicture(std::int64_t conversation, const std::string& name,
                                                std::int64_t afterKey) = 0;
};

// The manager's conversation store, read-only, through the process's SQLite
// calls; nullptr when the store has no file or the file cannot be opened. A
// test replaces how stores are opened with the process state's
// openMessageStore.
std::unique_ptr<MessageStore> openMessageStore(platform::messenger::DBManager& manager);

}  // namespace tweak
