// The send executor: inside the messenger, carries out the send request that the
// springboard left in the mailbox.
#pragma once

#include <string_view>

#include "platform/notify/notify_center.h"

namespace tweak {

// The messenger's observer of the send notification; ignores its arguments.
void sendMessageCallback(platform::notify::NotifyCenter* center, const void* observer,
                         std::string_view name, const void* object, const void* userInfo);

}  // namespace tweak
