// The Settings app's catalogue of panes: the entries that the pane loader finds
// in "/Library/PreferenceLoader/Preferences/*.plist", and the opening of one
// pane by loading its bundle's plug-in and creating its entry controller.
//
// An entry plist holds a dictionary "entry" with the pane's "bundle" (the name of
// "/Library/PreferenceBundles/<bundle>.bundle"), its "label" and optionally a
// "detail" controller class. The bundle's Info.plist names the plug-in file
// (CFBundleExecutable) and the entry class (NSPrincipalClass, which "detail"
// overrides). The plug-in exports PXBundleRegisterClasses, which registers its
// classes by name.
//
// Nothing here throws for bad input: unusable entries are left out with a line
// saying why, and a pane that cannot be opened answers the reason. Main thread only.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/preferences/view_controller.h"

namespace hosts::settings {

inline constexpr const char* kEntryFolderDevicePath = "/Library/PreferenceLoader/Preferences";
inline constexpr const char* kBundleFolderDevicePath = "/Library/PreferenceBundles";
inline constexpr const char* kRegisterClassesSymbol = "PXBundleRegisterClasses";

struct PaneEntry {
  std::string label;
  std::string bundle;
  std::string detail;  // empty: the bundle's NSPrincipalClass
  std::filesystem::path entryFile;
};

struct PaneCatalog {
  std::vector<PaneEntry> panes;      // in label order
  std::vector<std::string> skipped;  // one line per entry file left out
};

// Reads every "*.plist" of the current device's entry folder.
PaneCatalog listPanes();

struct OpenedPane {
  std::shared_ptr<platform::preferences::UIViewController> controller;  // nullptr on failure
  std::string error;
};

// Loads the pane's plug-in (once per process; it stays loaded) and creates its
// entry controller, with the bundle folder set on list controllers and the
// entry's label as the page title when the controller sets none.
OpenedPane openPane(const PaneEntry& entry);

}  // namespace hosts::settings
