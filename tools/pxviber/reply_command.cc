// pxviber reply: answers the springboard's open reply panel with a text or a
// photo, and pxviber app: moves an application between foreground, background
// and suspended, as the user or the system would.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>

#include "platform/foundation/error.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"
#include "tools/pxviber/outbox.h"
#include "tweak/core/preferences.h"

namespace pxviber {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
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

constexpr double kDefaultWaitSeconds = 30;

// A wait is a finite, non-negative number of seconds, at most the longest
// deadline a request can have: "inf", "-1" or "1e300" would end the wait at
// once, or never.
CLI::Validator waitSeconds() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double seconds = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (ec != std::errc() || end != text.data() + text.size() || !(seconds >= 0) ||
            seconds > kLongestWaitSeconds) {
          return fmt::format("a number of seconds from 0 to {:.0f} (a year), not {}",
                             kLongestWaitSeconds, text);
        }
        return {};
      },
      "SECONDS");
}

struct ReplyOptions {
  fs::path root;
  std::string text;
  std::string photo;
  std::optional<double> wait;
  bool waitGiven = false;
  bool json = false;
};

Dictionary replyRequest(const ReplyOptions& o) {
  Dictionary request{{"command", Value("reply")}};
  if (o.photo.empty()) {
    request["text"] = Value(o.text);
  } else {
    request["photo"] = Value(fs::absolute(o.photo).string());
  }
  foundation::Array keys;
  for (const auto& k : replySnapshotKeys()) keys.push_back(Value(k));
  request["snapshot"] = Value(
      Dictionary{{"file", Value(tweak::kPreferencesDevicePath)}, {"keys", Value(std::move(keys))}});
  return request;
}

// The four request keys of the snapshot: what a messenger of old would read.
Dictionary requestKeys(const Dictionary& snapshot) {
  Dictionary out = snapshot;
  out.erase(tweak::key::pendingRequests);
  out.erase(tweak::key::requestOutcomes);
  return out;
}

std::string joined(const Value* list, const char* key = nullptr) {
  std::string out;
  if (!list || !list->asArray()) return out;
  for (const auto& v : *list->asArray()) {
    const Value* item = key && v.asDictionary() ? foundation::find(*v.asDictionary(), key) : &v;
    if (item) out += (out.empty() ? "" : "; ") + item->description();
  }
  return out;
}

void printReply(const Dictionary& answer, const std::optional<std::string>& request) {
  const Value* user = foundation::find(answer, "user");
  std::cout << "replied to conversation " << (user ? user->description() : "(none)") << "\n";
  const Value* snapshot = foundation::find(answer, "snapshot");
  if (snapshot && snapshot->asDictionary()) {
    std::cout << "mailbox: " << Value(requestKeys(*snapshot->asDictionary())).description() << "\n";
  }
  if (request) std::cout << "request: " << *request << "\n";
  std::string actions = joined(foundation::find(answer, "wake"));
  std::cout << "messenger: " << (actions.empty() ? "already in the foreground" : actions) << "\n";
}

// Answers the exit code: 0 for a request handed over (and, with --wait,
// delivered), 1 otherwise.
int reply(const ReplyOptions& o) {
  Dictionary answer = askSpringboard(o.root, replyRequest(o));
  const Value* posted = foundation::find(answer, "posted");
  const Value* snapshot = foundation::find(answer, "snapshot");
  std::optional<std::string> request;
  if (snapshot && snapshot->asDictionary()) request = newestRequest(*snapshot->asDictionary());
  if (request) answer["request"] = Value(*request);
  std::optional<tweak::Outcome> outcome;
  if (posted && posted->asBoolean() && *posted->asBoolean() && request && o.waitGiven) {
    outcome = waitForOutcome(o.root, *request, o.wait.value_or(kDefaultWaitSeconds));
    if (outcome) answer["outcome"] = outcomeValue(*outcome);
  }
  bool handedOver = posted && posted->asBoolean() && *posted->asBoolean();
  if (o.json) {
    std::cout << toJson(Value(answer)) << "\n";
  } else if (!handedOver) {
    std::string told = joined(foundation::find(answer, "alerts"), "message");
    std::cout << "not sent: "
              << (told.empty() ? "the springboard posted nothing (see its log)" : told) << "\n";
  } else {
    printReply(answer, request);
    if (o.waitGiven) {
      std::cout << (outcome ? describeOutcome(*outcome)
                            : "not delivered: still pending after " +
                                  fmt::format("{:g}", o.wait.value_or(kDefaultWaitSeconds)) + " s")
                << "\n";
    }
  }
  if (!handedOver) return kFailed;
  return !o.waitGiven || (outcome && outcome->delivered) ? kOk : kFailed;
}

}  // namespace

void addReplyCommands(CLI::App& app, int& exitCode) {
  auto reply = std::make_shared<ReplyOptions>();
  auto* replyCmd =
      app.add_subcommand("reply", "answer the open reply panel with a text or a photo");
  addRootOption(replyCmd, reply->root);
  auto* text = replyCmd->add_option("--text", reply->text, "the reply text");
  auto* photo = replyCmd->add_option("--photo", reply->photo, "a photo file to send")
                    ->check(CLI::ExistingFile);
  text->excludes(photo);
  auto* wait = replyCmd
                   ->add_option("--wait", reply->wait,
                                "wait up to SECONDS (default 30) for the messenger's outcome")
                   ->expected(0, 1)
                   ->type_name("[SECONDS]")
                   ->check(waitSeconds());
  replyCmd->add_flag("--json", reply->json, "print what was written and done as JSON");
  replyCmd->footer(
      "Exit code 0: the request was handed to the messenger (with --wait: and delivered);\n"
      "1: it was not (the reason is printed).\n"
      "Example: pxviber reply --root /tmp/phone --text 'On my way 🚲' --wait");
  replyCmd->callback([reply, text, photo, wait, &exitCode] {
    if (!*text && !*photo) throw platform::Error("give --text or --photo");
    reply->waitGiven = wait->count() > 0;
    exitCode = pxviber::reply(*reply);
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
