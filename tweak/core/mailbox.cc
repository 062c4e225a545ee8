#include "tweak/core/mailbox.h"

#include "platform/foundation/log.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"

namespace tweak {

namespace foundation = platform::foundation;

std::optional<foundation::Dictionary> readMailbox() {
  return processState().files->readDictionary(preferencesPath());
}

bool mailboxExists() { return processState().files->fileExists(preferencesPath()); }

bool updateMailbox(const std::function<void(foundation::Dictionary&)>& change,
                   foundation::FolderSync folder) {
  auto result = processState().files->updateDictionary(preferencesPath(), change, folder);
  if (result.lockFailed) {
    foundation::NSLog("PXVIBER: could not lock settings file {}; nothing written",
                      preferencesPath().string());
    return false;
  }
  if (result.keptAside) {
    foundation::NSLog("PXVIBER: settings file was unreadable; kept it as {}",
                      result.keptAside->string());
  }
  if (!result.written) {
    foundation::NSLog("PXVIBER: could not write settings file {}", preferencesPath().string());
  }
  return result.written;
}

void syncMailboxFolder() { processState().files->syncFolder(preferencesPath()); }

}  // namespace tweak
