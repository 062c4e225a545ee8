// The pane's plug-in entry point. The Settings app loads the bundle's executable
// and calls PXBundleRegisterClasses, which puts the pane's classes in the class
// registry; it then creates the entry controller by the class name that the
// bundle's Info.plist gives (NSPrincipalClass).
#include "prefs/other_apps_view_controller.h"
#include "prefs/preferences_list_controller.h"

extern "C" __attribute__((visibility("default"))) void PXBundleRegisterClasses() {
  using platform::preferences::registerViewControllerClass;
  registerViewControllerClass<prefs::PXViberPreferencesListController>(
      prefs::kListControllerClassName);
  registerViewControllerClass<prefs::PXViberOtherAppsViewController>(prefs::kOtherAppsClassName);
}
