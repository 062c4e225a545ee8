#include "tweak/extension/viber_couria_extension.h"

namespace tweak {

// The operations below are not built yet: the extension sends nothing. Each
// moves to its own file when it is built.
void ORVViberCouriaExtension::sendMessage(std::shared_ptr<const platform::couria::CouriaMessage>,
                                          const platform::couria::UserIdentifier&) {}

bool ORVViberCouriaExtension::canSendPhotos() { return false; }

std::shared_ptr<platform::springboard::SBApplication> ORVViberCouriaExtension::appWithIdentifier() {
  return nullptr;
}

void ORVViberCouriaExtension::startWakingViber() {}

void ORVViberCouriaExtension::wakeAppToSendMessage() {}

}  // namespace tweak
