// pxviber push: delivers a Viber notification to the running springboard, which
// shows it in Couria's reply panel, and prints the panel.
//
// The payload carries the message token, or the sender's number and the group,
// in one of the three forms a bulletin can hold it:
//   remote    context "remoteNotification", the token as the number "mt"
//   local     a UILocalNotification archived under "localNotification", whose
//             userInfo holds the token as the string "messageToken"
//   userinfo  context "userInfo", the token as the number "mt"
// The number and group go under "fn" and "gi" as strings in every form.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <charconv>
#include <iostream>

#include "platform/foundation/date_format.h"
#include "platform/foundation/error.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "platform/springboard/bulletin.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"
#include "tools/pxviber/push.h"

namespace pxviber {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;
namespace sb = platform::springboard;

namespace {

struct PushOptions : NotificationContent {
  fs::path root;
  std::string groupText;  // --group as typed; given even when empty
  bool json = false;
};

}  // namespace

sb::BBBulletin makeBulletin(const NotificationContent& o) {
  Dictionary payload;
  if (!o.token.empty()) {
    if (o.form == "local") {
      payload["messageToken"] = Value(o.token);
    } else {
      payload["mt"] = Value(static_cast<long long>(std::stoll(o.token)));
    }
  }
  if (!o.number.empty()) payload["fn"] = Value(o.number);
  if (o.group) payload["gi"] = Value(*o.group);

  sb::BBBulletin b;
  b.sectionID = "com.viber";
  b.message = o.text;
  b.recordID = Value("pxviber-push-" + std::to_string(::getpid()));
  b.publisherBulletinID = b.recordID;
  if (o.form == "remote") {
    b.context = {{sb::kNotificationTypeKey, Value(sb::kNotificationTypeRemote)},
                 {sb::kRemoteNotificationKey, Value(payload)}};
  } else if (o.form == "local") {
    sb::UILocalNotification local;
    local.alertBody = o.text;
    local.userInfo = Value(payload);
    b.context = {{sb::kNotificationTypeKey, Value(sb::kNotificationTypeLocal)},
                 {sb::kLocalNotificationKey, Value(local.archive())}};
  } else {
    b.context = {{sb::kUserInfoKey, Value(payload)}};
  }
  return b;
}

namespace {

// The answer as JSON: nil as null, times as local ISO 8601 with their offset.
std::string panelJson(const Dictionary& answer) {
  auto entry = [&](const Dictionary& d, const char* key) {
    const Value* v = platform::foundation::find(d, key);
    return v ? *v : Value();
  };
  platform::foundation::Array messages;
  if (const Value* list = platform::foundation::find(answer, "messages"); list && list->asArray()) {
    for (const Value& m : *list->asArray()) {
      const Dictionary* d = m.asDictionary();
      if (!d) continue;
      Dictionary out;
      for (const char* key : {"content", "outgoing", "timestamp", "authorPhoneNumIndex",
                              "authorDisplayName", "conversation"}) {
        Value v = entry(*d, key);
        if (const auto* date = v.asDate()) v = Value(platform::foundation::iso8601Local(*date));
        out[key] = v;
      }
      messages.push_back(Value(std::move(out)));
    }
  }
  Dictionary shown{{"user", entry(answer, "user")},
                   {"nickname", entry(answer, "nickname")},
                   {"messages", Value(std::move(messages))}};
  return toJson(Value(std::move(shown)));
}

// A message token is a whole number of at most 19 digits, as Viber stores it.
const CLI::Validator kMessageToken(
    [](std::string& text) -> std::string {
      std::int64_t value = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
      if (digits && error == std::errc() && end == text.data() + text.size()) return "";
      return "\"" + text +
             "\" is not a message token: give a whole number of up to 19 digits, "
             "such as 6200000000000000034";
    },
    "TOKEN");

}  // namespace

void addPushCommand(CLI::App& app, int& exitCode) {
  auto o = std::make_shared<PushOptions>();
  auto* push = app.add_subcommand("push", "deliver a Viber notification to the reply panel");
  addRootOption(push, o->root);
  auto* token = push->add_option("--token", o->token, "the message token")->check(kMessageToken);
  auto* number = push->add_option("--number", o->number, "the sender's phone number");
  auto* group = push->add_option("--group", o->groupText,
                                 "the group identifier (with --number); \"\" is a group too")
                    ->needs(number);
  token->excludes(number);
  push->add_option("--text", o->text, "the notification text, \"Name: body\"")->required();
  push->add_option("--form", o->form, "payload form: remote (default), local or userinfo")
      ->check(CLI::IsMember({"remote", "local", "userinfo"}));
  push->add_flag("--json", o->json, "print the panel as one JSON object");
  push->footer(
      "Example: pxviber push --root /tmp/phone --number +15550100001 "
      "--text 'Alice Smith: Where are you?'");
  push->callback([o, token, number, group, &exitCode] {
    if (!*token && !*number) throw platform::Error("give --token or --number");
    if (*group) o->group = o->groupText;
    auto loop = platform::runloop::makeEventRunLoop();
    auto center = joinDeviceBus(o->root, *loop);
    if (!runningPid(o->root, "SpringBoard")) {
      throw platform::Error("the springboard of " + o->root.string() + " is not running");
    }
    Dictionary answer = platform::runtime::sendHostRequest(
        *center, *loop, "SpringBoard",
        {{"command", Value("bulletin")}, {"bulletin", Value(makeBulletin(*o).toDictionary())}});
    if (const Value* error = platform::foundation::find(answer, "error");
        error && error->asString()) {
      throw platform::Error(*error->asString());
    }
    if (o->json) {
      std::cout << panelJson(answer) << "\n";
    } else if (const Value* text = platform::foundation::find(answer, "text");
               text && text->asString()) {
      std::cout << *text->asString();
    }
    exitCode = kOk;
  });
}

}  // namespace pxviber
