#include "tweak/bridge/send_executor.h"

#include "platform/foundation/log.h"
#include "tweak/core/preferences.h"

namespace tweak {

// Receiving side only so far: the executor that resolves the conversation and
// sends through the messenger is not built yet.
void sendMessageCallback(platform::notify::NotifyCenter*, const void*, std::string_view,
                         const void*, const void*) {
  if (settings().debugMode) platform::foundation::NSLog("PXVIBER: sendMessage callback in Viber");
}

}  // namespace tweak
