// Where Viber's data container is, found through AppList in the springboard.
//
// findAppBundlePath and findAppDataPath ask the catalogue each time;
// viberAppPath() caches the first path it finds for the life of the process (a
// nil answer is not cached, so a later call asks again). Paths are device paths
// ("/private/var/mobile/Containers/Data/Application/<UUID>"); callers turn them
// into files with platform::foundation::hostPath(). Main thread only.
#pragma once

#include <optional>
#include <string>

namespace tweak {

// The catalogue's "path" of the application: its bundle directory, or nullopt.
std::optional<std::string> findAppBundlePath(const std::optional<std::string>& identifier);

// The application's data container. From iOS 8 on (process info answers the
// version test) this is the catalogue's "dataContainerPath", whatever it is.
// Before, it is derived from the bundle path: "/private/var/mobile/" for a
// system application under "/Applications/", else the bundle path followed by
// "/.." (the folder that holds the bundle), left unresolved; nullopt for an
// unknown application.
std::optional<std::string> findAppDataPath(const std::optional<std::string>& identifier);

// The cached data container of "com.viber" (process_state.h).
std::optional<std::string> viberAppPath();

}  // namespace tweak
