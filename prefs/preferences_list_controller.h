// PXViberPreferencesListController: the entry page of the settings pane.
//
// Its rows come from the specifier list "PXViberPreferences" of the pane's
// bundle, loaded on the first specifiers() call and kept for the controller's
// life (a failed load is tried again on the next call). Two of the rows are
// buttons whose actions are the controller's own methods: followOnTwitter opens
// the maker's profile page, viewOtherApps shows the maker's other tweaks on a new
// page. Storing the edited values is the list machinery's work, as the
// specifier list directs; the controller writes and posts nothing itself.
#pragma once

#include "platform/preferences/list_controller.h"

namespace prefs {

// The name the pane's bundle gives its entry class and its specifier list.
inline constexpr const char* kListControllerClassName = "PXViberPreferencesListController";
inline constexpr const char* kSpecifierListName = "PXViberPreferences";
// The maker's profile page on the social network.
inline constexpr const char* kFollowURL = "https://twitter.com/intent/user?screen_name=OrvellSoft";

class PXViberPreferencesListController : public platform::preferences::PSListController {
 public:
  PXViberPreferencesListController();
  std::string className() const override { return kListControllerClassName; }

  platform::preferences::Specifiers specifiers() override;
  void followOnTwitter();
  void viewOtherApps();
};

}  // namespace prefs
