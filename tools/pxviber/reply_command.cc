// pxviber reply: answers the springboard's open reply panel with a text or a
// photo, and pxviber app: moves an application between foreground, background
// and suspended, as the user or the system would.
#include <CLI/CLI.hpp>
#include <iostream>

#include "platform/foundation/error.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"

namespace pxviber {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

namespace {

Dictionary askSpringboard(const fs::path& root, const Dictionary& request) {
  auto loop = platform::runloop::makeEventRunLoop();
  auto center = joinDeviceBus(root, *loop);
  if (!runningPid(root, "SpringBoard")) {
    throw platform::Error("the springboard of " + root.string() + " is not running");
  }
  auto answer = platform::runtime::sendHostRequest(*center, *loop, "SpringBoard", request);
  if (const Value* error = platform::foundation::find(answer, "error");
      error && error->asString()) {
    throw platform::Error(*error->asString());
  }
  return answer;
}

}  // namespace

void addReplyCommands(CLI::App& app, int& exitCode) {
  struct ReplyOptions {
    fs::path root;
    std::string text;
    std::string photo;
    bool json = false;
  };
  auto reply = std::make_shared<ReplyOptions>();
  auto* replyCmd =
      app.add_subcommand("reply", "answer the open reply panel with a text or a photo");
  addRootOption(replyCmd, reply->root);
  auto* text = replyCmd->add_option("--text", reply->text, "the reply text");
  auto* photo = replyCmd->add_option("--photo", reply->photo, "a photo file to send")
                    ->check(CLI::ExistingFile);
  text->excludes(photo);
  replyCmd->add_flag("--json", reply->json, "print what was written and done as JSON");
  replyCmd->footer("Example: pxviber reply --root /tmp/phone --text 'On my way 🚲'");
  replyCmd->callback([reply, text, photo, &exitCode] {
    if (!*text && !*photo) throw platform::Error("give --text or --photo");
    Dictionary request{{"command", Value("reply")}};
    if (*text) request["text"] = Value(reply->text);
    if (*photo) request["photo"] = Value(fs::absolute(reply->photo).string());
    Dictionary answer = askSpringboard(reply->root, request);
    if (reply->json) {
      std::cout << toJson(Value(answer)) << "\n";
    } else {
      const Value* user = platform::foundation::find(answer, "user");
      std::cout << "replied to conversation " << (user ? user->description() : "(none)") << "\n";
      if (const Value* mailbox = platform::foundation::find(answer, "mailbox")) {
        std::cout << "mailbox: " << mailbox->description() << "\n";
      }
      if (const Value* wake = platform::foundation::find(answer, "wake"); wake && wake->asArray()) {
        std::string actions;
        for (auto& a : *wake->asArray()) actions += (actions.empty() ? "" : ", ") + a.description();
        std::cout << "messenger: " << (actions.empty() ? "already in the foreground" : actions)
                  << "\n";
      }
    }
    exitCode = kOk;
  });

  struct AppOptions {
    fs::path root;
    std::string action;
    std::string identifier = "com.viber";
  };
  auto appOptions = std::make_shared<AppOptions>();
  auto* appCmd = app.add_subcommand("app", "show or change an application's state");
  appCmd->add_option("ACTION", appOptions->action, "state, activate, background or suspend")
      ->required()
      ->check(CLI::IsMember({"state", "activate", "background", "suspend"}));
  addRootOption(appCmd, appOptions->root);
  appCmd->add_option("--id", appOptions->identifier, "bundle identifier (default com.viber)");
  appCmd->footer("Example: pxviber app suspend --root /tmp/phone");
  appCmd->callback([appOptions, &exitCode] {
    Dictionary answer =
        askSpringboard(appOptions->root, {{"command", Value("app")},
                                          {"action", Value(appOptions->action)},
                                          {"identifier", Value(appOptions->identifier)}});
    std::cout << appOptions->identifier << ": "
              << platform::foundation::find(answer, "name")->description() << " (state "
              << platform::foundation::find(answer, "state")->description() << ")\n";
    exitCode = kOk;
  });
}

}  // namespace pxviber
