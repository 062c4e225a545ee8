#include "prefs/other_apps_view_controller.h"

#include "platform/runloop/run_loop.h"

namespace prefs {

using namespace platform::preferences;
using platform::foundation::NSURL;

PXViberOtherAppsViewController::~PXViberOtherAppsViewController() {
  // The web view may outlive this page (its engine can hold it through a load);
  // it must not call back into a destroyed delegate.
  if (!isViewLoaded()) return;
  for (auto& subview : view().subviews()) {
    auto* webView = dynamic_cast<UIWebView*>(subview.get());
    if (webView && webView->delegate() == this) webView->setDelegate(nullptr);
  }
}

void PXViberOtherAppsViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  navigationItem().setTitle(kOtherAppsTitle);

  auto webView = std::make_shared<UIWebView>(view().bounds());
  webView->setDelegate(this);
  webView->setBackgroundColor(UIColor::clearColor());
  webView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view().addSubview(webView);

  // 320 points wide from the left edge, at half the height the view has now; no
  // autoresizing, so it keeps this frame. Added last, it lies above the web view.
  label_ = std::make_shared<UILabel>(CGRectMake(0, view().frame().size.height * 0.5, 320, 50));
  label_->setText(kLoadingText);
  label_->setTextAlignment(NSTextAlignment::Center);
  label_->setBackgroundColor(UIColor::clearColor());
  view().addSubview(label_);

  webView->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(kOtherAppsURL)));
}

void PXViberOtherAppsViewController::webViewDidFinishLoad(UIWebView&) { removeLabelOnMainThread(); }

void PXViberOtherAppsViewController::webViewDidFailLoadWithError(UIWebView&, const NSError&) {
  removeLabelOnMainThread();
}

void PXViberOtherAppsViewController::removeLabelOnMainThread() {
  // The queued task holds the label, as a call queued for the main thread keeps
  // its receiver, and runs after the callback has returned. A label already out
  // of its view ignores the removal.
  std::shared_ptr<UILabel> label = label_;
  if (!label) return;
  if (auto loop = platform::runloop::mainRunLoop()) {
    loop->post([label] { label->removeFromSuperview(); });
  } else {
    label->removeFromSuperview();
  }
}

}  // namespace prefs
