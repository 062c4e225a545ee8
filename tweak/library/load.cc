// The load-time routines of ParlexforViber.so. Both run in every process that
// loads the library, in this order (constructor priorities): the database-manager
// capture, then the bootstrap. Each only calls one function, which tests can call
// directly with fakes in place.
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/bridge/send_executor.h"
#include "tweak/core/bootstrap.h"
#include "tweak/extension/deadline_watch.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

__attribute__((constructor(101))) void installCaptureAtLoad() { tweak::installDBManagerCapture(); }

__attribute__((constructor(102))) void bootstrapAtLoad() {
  tweak::runBootstrap({
      .newExtension = [] { return tweak::ORVViberCouriaExtension::create(); },
      .sendMessageCallback = tweak::sendMessageCallback,
      .messengerSettled = tweak::sendRequestsLeftPending,
      .springboardSettled = tweak::watchRequestDeadlines,
  });
}

}  // namespace
