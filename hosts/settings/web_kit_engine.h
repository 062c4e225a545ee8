// The Settings app's web engine: one WebKitGTK web view per UIWebView, on an
// ephemeral network session (no cache or cookies in the user's home). Each load
// reports its outcome back to its UIWebView: finished, or failed (WebKit's own
// error page is suppressed).
#pragma once

#include <memory>

#include "platform/preferences/web_view.h"

typedef struct _GtkWidget GtkWidget;

namespace hosts::settings {

std::shared_ptr<platform::preferences::WebEngine> makeWebKitEngine();

// The WebKit widget that shows `view`; null when the view's backend is not one
// of this engine's. The backend owns the widget.
GtkWidget* webKitWidget(platform::preferences::UIWebView& view);

}  // namespace hosts::settings
