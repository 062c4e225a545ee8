#include "prefs/preferences_list_controller.h"

#include "platform/preferences/application.h"
#include "prefs/other_apps_view_controller.h"

namespace prefs {

using platform::foundation::NSURL;
using platform::preferences::UIApplication;

PXViberPreferencesListController::PXViberPreferencesListController() {
  defineAction("followOnTwitter", [this] { followOnTwitter(); });
  defineAction("viewOtherApps", [this] { viewOtherApps(); });
}

platform::preferences::Specifiers PXViberPreferencesListController::specifiers() {
  // A nil load leaves _specifiers nil, so the next call reads the bundle again.
  if (!_specifiers) _specifiers = loadSpecifiersFromPlistName(kSpecifierListName, this);
  return _specifiers;
}

void PXViberPreferencesListController::followOnTwitter() {
  // Whether a handler took the URL is not reported to the user.
  UIApplication::sharedApplication().openURL(NSURL::URLWithString(kFollowURL));
}

void PXViberPreferencesListController::viewOtherApps() {
  // The page stack becomes the new page's only owner.
  pushController(std::make_shared<PXViberOtherAppsViewController>(), true);
}

}  // namespace prefs
