// PXViberOtherAppsViewController: the page that shows the maker's web page of
// its other tweaks.
//
// The page holds a web view filling its view and, above it, the label "Loading
// web page..." until the first load of the web view finishes or fails; the label
// is then taken away by a task queued to the main run loop and never comes back.
// The web view is owned by the page's view alone and refers to the page as its
// delegate without owning it; the page clears that reference when it is
// destroyed, so no load outcome can reach a page that is gone.
#pragma once

#include <memory>

#include "platform/preferences/ui_view.h"
#include "platform/preferences/view_controller.h"
#include "platform/preferences/web_view.h"

namespace prefs {

inline constexpr const char* kOtherAppsClassName = "PXViberOtherAppsViewController";
inline constexpr const char* kOtherAppsURL = "http://northquay.org/OrvellApps_all.htm";
inline constexpr const char* kOtherAppsTitle = "My tweaks";
inline constexpr const char* kLoadingText = "Loading web page...";

class PXViberOtherAppsViewController : public platform::preferences::UIViewController,
                                       public platform::preferences::UIWebViewDelegate {
 public:
  ~PXViberOtherAppsViewController() override;
  std::string className() const override { return kOtherAppsClassName; }

  void viewDidLoad() override;
  void webViewDidFinishLoad(platform::preferences::UIWebView& webView) override;
  void webViewDidFailLoadWithError(platform::preferences::UIWebView& webView,
                                   const platform::preferences::NSError& error) override;

  // The loading label, kept after it has been taken out of the view.
  const std::shared_ptr<platform::preferences::UILabel>& label() const { return label_; }

 private:
  void removeLabelOnMainThread();

  std::shared_ptr<platform::preferences::UILabel> label_;
};

}  // namespace prefs
