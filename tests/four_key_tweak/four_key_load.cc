// The load-time routines of ParlexforViberFourKey.so, the test double of an
// earlier version of the tweak (four_key_tweak.h): the capture, then the
// bootstrap with the earlier springboard's extension and messenger's observer.
// The earlier version had no pass at launch and no deadlines.
#include "tests/four_key_tweak/four_key_tweak.h"
#include "tweak/bridge/db_manager_capture.h"
#include "tweak/core/bootstrap.h"

namespace {

__attribute__((constructor(101))) void installCaptureAtLoad() { tweak::installDBManagerCapture(); }

__attribute__((constructor(102))) void bootstrapAtLoad() {
  tweak::runBootstrap({
      .newExtension = [] { return tweak::testing::FourKeyExtension::create(); },
      .sendMessageCallback = tweak::testing::fourKeySendMessageCallback,
      .messengerSettled = [] {},
      .springboardSettled = [] {},
  });
}

}  // namespace
