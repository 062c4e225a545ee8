#include "platform/preferences/web_view.h"

#include "platform/foundation/log.h"
#include "platform/preferences/services.h"

namespace platform::preferences {

UIWebView::UIWebView(CGRect frame) : UIView(frame) {
  if (auto engine = services().webEngine) backend_ = engine->makeBackend(*this);
}

// The backend goes first, so that no outcome arrives while the view is half gone.
UIWebView::~UIWebView() { backend_.reset(); }

void UIWebView::loadRequest(const NSURLRequest& request) {
  request_ = request;
  if (!backend_) {
    foundation::NSLog("Preferences: no web engine; not loading {}",
                      foundation::describe(request.URL));
    return;
  }
  backend_->loadRequest(request);
}

void UIWebView::didFinishLoad() {
  if (delegate_) delegate_->webViewDidFinishLoad(*this);
}

void UIWebView::didFailLoad(const NSError& error) {
  if (delegate_) delegate_->webViewDidFailLoadWithError(*this, error);
}

}  // namespace platform::preferences
