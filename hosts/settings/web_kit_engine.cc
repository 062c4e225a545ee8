#include "hosts/settings/web_kit_engine.h"

#include <gtk/gtk.h>
#include <webkit/webkit.h>

namespace hosts::settings {

namespace {

namespace pp = platform::preferences;

class WebKitBackend final : public pp::WebViewBackend {
 public:
  WebKitBackend(pp::UIWebView& owner, WebKitNetworkSession* session) : owner_(owner) {
    widget_ = GTK_WIDGET(
        g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, nullptr)));
    g_signal_connect(widget_, "load-changed", G_CALLBACK(&WebKitBackend::onLoadChanged), this);
    g_signal_connect(widget_, "load-failed", G_CALLBACK(&WebKitBackend::onLoadFailed), this);
    g_signal_connect(widget_, "web-process-terminated", G_CALLBACK(&WebKitBackend::onTerminated),
                     this);
  }

  ~WebKitBackend() override {
    // Disconnected first: stopping a load reports a cancelled load, which must
    // not reach a web view that is being destroyed.
    g_signal_handlers_disconnect_by_data(widget_, this);
    webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(widget_));
    g_object_unref(widget_);
  }

  void loadRequest(const pp::NSURLRequest& request) override {
    pp::UIColor c = owner_.backgroundColor();
    GdkRGBA rgba{float(c.red), float(c.green), float(c.blue), float(c.alpha)};
    webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(widget_), &rgba);
    failed_ = false;
    std::string uri = request.URL ? request.URL->absoluteString() : "about:blank";
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget_), uri.c_str());
  }

  GtkWidget* widget() const { return widget_; }

 private:
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    auto* b = static_cast<WebKitBackend*>(self);
    if (event == WEBKIT_LOAD_STARTED) b->failed_ = false;
    // A failed load ends with FINISHED too; its failure has been reported.
    if (event == WEBKIT_LOAD_FINISHED && !b->failed_) b->owner_.didFinishLoad();
  }

  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                               gpointer self) {
    auto* b = static_cast<WebKitBackend*>(self);
    b->failed_ = true;
    b->owner_.didFailLoad(
        pp::NSError{g_quark_to_string(error->domain), error->code, error->message});
    return TRUE;  // handled: WebKit puts up no error page of its own
  }

  static void onTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    auto* b = static_cast<WebKitBackend*>(self);
    b->failed_ = true;
    b->owner_.didFailLoad(pp::NSError{"WebKitWebProcess", 1, "the web process ended"});
  }

  pp::UIWebView& owner_;
  GtkWidget* widget_ = nullptr;
  bool failed_ = false;
};

class WebKitEngine final : public pp::WebEngine {
 public:
  WebKitEngine() : session_(webkit_network_session_new_ephemeral()) {}
  ~WebKitEngine() override { g_object_unref(session_); }
  std::unique_ptr<pp::WebViewBackend> makeBackend(pp::UIWebView& owner) override {
    return std::make_unique<WebKitBackend>(owner, session_);
  }

 private:
  WebKitNetworkSession* session_;
};

}  // namespace

std::shared_ptr<pp::WebEngine> makeWebKitEngine() { return std::make_shared<WebKitEngine>(); }

GtkWidget* webKitWidget(pp::UIWebView& view) {
  auto* backend = dynamic_cast<WebKitBackend*>(view.backend());
  return backend ? backend->widget() : nullptr;
}

}  // namespace hosts::settings
