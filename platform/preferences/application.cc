#include "platform/preferences/application.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/log.h"
#include "platform/preferences/services.h"

extern char** environ;

namespace platform::preferences {

namespace {

std::optional<std::filesystem::path> findOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return std::nullopt;
  std::string all = path;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    std::filesystem::path candidate =
        std::filesystem::path(all.substr(start, end - start)) / program;
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

class DesktopURLHandler final : public URLHandler {
 public:
  bool openURL(const foundation::NSURL& url) override {
    foundation::NSLog("Preferences: opening {}", url.absoluteString());
    auto opener = findOnPath("xdg-open");
    if (!opener) {
      foundation::NSLog("Preferences: no xdg-open on the PATH; {} not opened",
                        url.absoluteString());
      return false;
    }
    // A short-lived middle child starts the opener and exits at once, so the
    // opener is adopted by init and never left behind as a zombie of this app.
    // Everything the child needs is prepared before the fork: the app has threads.
    std::string exe = opener->string();
    std::string target = url.absoluteString();
    char* argv[] = {exe.data(), target.data(), nullptr};
    pid_t middle = ::fork();
    if (middle < 0) {
      foundation::NSLog("Preferences: cannot start xdg-open: {}", std::strerror(errno));
      return false;
    }
    if (middle == 0) {
      ::setsid();
      pid_t child = 0;
      int r = ::posix_spawn(&child, exe.c_str(), nullptr, nullptr, argv, environ);
      ::_exit(r == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(middle, &status, 0);
    bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!started) foundation::NSLog("Preferences: xdg-open could not be started");
    return started;
  }
};

}  // namespace

std::shared_ptr<URLHandler> makeDesktopURLHandler() {
  return std::make_shared<DesktopURLHandler>();
}

UIApplication& UIApplication::sharedApplication() {
  static UIApplication application;
  return application;
}

bool UIApplication::openURL(const std::shared_ptr<foundation::NSURL>& url) {
  if (!url) return false;
  return services().urlHandler->openURL(*url);
}

}  // namespace platform::preferences
