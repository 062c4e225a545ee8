#include "tweak/core/mailbox.h"

#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "tweak/core/preferences.h"

namespace tweak {

namespace foundation = platform::foundation;

namespace {

MailboxReader& readerSlot() {
  static MailboxReader reader;
  return reader;
}

}  // namespace

std::optional<foundation::Dictionary> readMailbox() {
  if (readerSlot()) return readerSlot()();
  return foundation::readDictionaryFile(preferencesPath());
}

void setMailboxReaderForTesting(MailboxReader reader) { readerSlot() = std::move(reader); }

bool updateMailbox(const std::function<void(foundation::Dictionary&)>& change,
                   foundation::FolderSync folder) {
  auto result = foundation::updateDictionaryFile(preferencesPath(), change, folder);
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

void syncMailboxFolder() { foundation::syncFolderOf(preferencesPath()); }

}  // namespace tweak
