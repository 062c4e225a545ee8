// The application object (UIApplication) and the handler of the URLs it opens.
//
// openURL: hands a URL to whatever handles it outside the app: on the Linux
// desktop the default handler, reached through xdg-open. Used from the main thread.
#pragma once

#include <memory>

#include "platform/foundation/object.h"

namespace platform::preferences {

class URLHandler {
 public:
  virtual ~URLHandler() = default;
  // Starts opening `url`; answers whether a handler took it. Never blocks on the
  // handler's work.
  virtual bool openURL(const foundation::NSURL& url) = 0;
};

// Logs every URL ("Preferences: opening <url>") and starts xdg-open on it when
// xdg-open is on the PATH (detached, so the app never waits for the browser);
// answers false, logging why, when there is none or it cannot be started.
std::shared_ptr<URLHandler> makeDesktopURLHandler();

class UIApplication {
 public:
  static UIApplication& sharedApplication();
  // Hands `url` to the process's URL handler (services.h); false for nil.
  bool openURL(const std::shared_ptr<foundation::NSURL>& url);

 private:
  UIApplication() = default;
};

}  // namespace platform::preferences
