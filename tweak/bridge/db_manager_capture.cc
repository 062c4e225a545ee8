#include "tweak/bridge/db_manager_capture.h"

#include "platform/foundation/log.h"
#include "platform/runtime/class_registry.h"
#include "tweak/bridge/messenger_contract.h"

namespace tweak {

// The method replacements on DBManager are installed by the messenger bridge,
// which is not built yet; the routine already runs first and writes its line.
void installDBManagerCapture() {
  platform::foundation::NSLog("PXVIBER: ctor");
  [[maybe_unused]] auto* cls = platform::runtime::objc_getClass(messenger::kDBManagerClass);
}

}  // namespace tweak
