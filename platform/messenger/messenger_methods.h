// The messenger's own implementations of the DBManager methods, over its
// database (messenger_database.h). The host defines them on the class before it
// registers the class and loads tweaks.
//
// The initialisers open the data container's database for the instance and
// answer it, or nil when the database cannot be opened. The getters answer a
// conversation for an existing row and nil otherwise. The text send writes an
// outgoing message; the picture send registers the named attachment from the
// attachments folder (refusing a name with a path separator or "..") and calls
// its completion on a later turn of the run loop. A failure of the database
// inside a method is logged and answers nil: no method throws.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/messenger/db_manager.h"
#include "platform/runloop/run_loop.h"

namespace platform::messenger {

struct MessengerEnvironment {
  // The host path of the messenger's data container.
  std::filesystem::path dataContainer;
  // Where the picture completion is called; the main run loop when null.
  std::shared_ptr<runloop::RunLoop> loop;
};

// Defines every selector of db_manager.h on `cls`.
void defineDBManagerMethods(DBManagerClass& cls, MessengerEnvironment environment);

// The text of an NSString argument; nullopt for nil and for other objects.
std::optional<std::string> textOf(const Id& object);

}  // namespace platform::messenger
