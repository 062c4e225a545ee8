// What came of one send request inside the messenger.
#pragma once

#include <cstdint>
#include <string>

namespace tweak {

struct SendResult {
  enum class Kind {
    Delivered,  // the database holds it: messageKey
    Failed,     // it never can be sent: reason (an alert text)
    Retry,      // it may go out later: reason (an alert text)
    Waiting,    // a picture whose completion settles it
    Held,       // not tried: an earlier reply to its conversation waits
    // taken by a messenger of an earlier version and not in the database:
    // that messenger told of its own failures; no alert
    TakenElsewhere,
  };
  Kind kind = Kind::Retry;
  std::int64_t messageKey = 0;
  std::string reason;
};

}  // namespace tweak
