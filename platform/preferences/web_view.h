// The web view (UIWebView), its delegate protocol, and the engine that loads pages.
//
// A UIWebView is a view that shows a web page. The page itself is loaded by the
// process's web engine (WebKitGTK in the Settings app; a recording fake in
// tests): each web view gets its own backend from the engine when it is created,
// and the backend reports the outcome of each load back to the web view, on the
// main thread, through didFinishLoad() and didFailLoad(). The web view hands it
// on to its delegate.
//
// The delegate is not owned: whoever sets it must clear it (setDelegate(nullptr))
// before the delegate is destroyed, since the web view may outlive it.
//
// Used from the main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/object.h"
#include "platform/preferences/ui_view.h"

namespace platform::preferences {

// A request for a URL with the platform's default cache policy and time-out.
struct NSURLRequest {
  std::shared_ptr<foundation::NSURL> URL;
  double timeoutInterval = 60;
  static NSURLRequest requestWithURL(std::shared_ptr<foundation::NSURL> url) {
    return NSURLRequest{std::move(url)};
  }
};

// Why a load failed.
struct NSError {
  std::string domain;
  long code = 0;
  std::string localizedDescription;
};

class UIWebView;

// UIWebViewDelegate: the two outcomes of a load. Both are optional to implement.
class UIWebViewDelegate {
 public:
  virtual ~UIWebViewDelegate() = default;
  virtual void webViewDidFinishLoad(UIWebView& webView) { (void)webView; }
  virtual void webViewDidFailLoadWithError(UIWebView& webView, const NSError& error) {
    (void)webView;
    (void)error;
  }
};

// What the engine does for one web view. Destroying the backend stops its loads
// and guarantees that it calls its web view no more.
class WebViewBackend {
 public:
  virtual ~WebViewBackend() = default;
  virtual void loadRequest(const NSURLRequest& request) = 0;
};

class WebEngine {
 public:
  virtual ~WebEngine() = default;
  // A backend for `owner`, which outlives it (the web view owns its backend).
  virtual std::unique_ptr<WebViewBackend> makeBackend(UIWebView& owner) = 0;
};

class UIWebView : public UIView {
 public:
  // Takes its backend from the process's web engine (services.h); without an
  // engine the web view loads nothing and says so in the log.
  explicit UIWebView(CGRect frame);
  ~UIWebView() override;
  std::string className() const override { return "UIWebView"; }

  UIWebViewDelegate* delegate() const { return delegate_; }
  void setDelegate(UIWebViewDelegate* delegate) { delegate_ = delegate; }

  void loadRequest(const NSURLRequest& request);
  // The last request loaded; nullopt before the first.
  const std::optional<NSURLRequest>& request() const { return request_; }

  WebViewBackend* backend() const { return backend_.get(); }

  // Called by the backend on the main thread.
  void didFinishLoad();
  void didFailLoad(const NSError& error);

 private:
  UIWebViewDelegate* delegate_ = nullptr;
  std::optional<NSURLRequest> request_;
  std::unique_ptr<WebViewBackend> backend_;
};

}  // namespace platform::preferences
