#include "tools/pxviber/packages/device_records.h"

namespace pxviber::packages {

namespace {

// Whether `place` is `folder` or a folder above it.
bool atOrAbove(std::string_view place, std::string_view folder) {
  return folder == place ||
         (folder.size() > place.size() && folder.starts_with(place) && folder[place.size()] == '/');
}

// Whether `place` lies inside `folder`.
bool inside(std::string_view place, std::string_view folder) {
  return place.size() > folder.size() && place.starts_with(folder) && place[folder.size()] == '/';
}

}  // namespace

DeviceOwned deviceOwned(std::string_view place) {
  if (place == kSettingsFile || place == kVarLink) return DeviceOwned::Record;
  for (std::string_view records :
       {std::string_view(kDatabaseFolder), std::string_view("private/var/run")}) {
    if (inside(place, records)) return DeviceOwned::Record;
  }
  if (atOrAbove(place, kDatabaseFolder)) return DeviceOwned::Folder;
  for (std::string_view folder : kLayoutFolders) {
    if (atOrAbove(place, folder)) return DeviceOwned::Folder;
  }
  return DeviceOwned::No;
}

}  // namespace pxviber::packages
