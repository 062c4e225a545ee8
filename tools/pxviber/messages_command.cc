// pxviber messages and pxviber refresh: what the messenger holds, and a new
// manager for it.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "platform/foundation/error.h"
#include "platform/messenger/messenger_database.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "platform/viberdb/viber_database.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"

namespace pxviber {

namespace fs = std::filesystem;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;

namespace {

// A stopped (suspended) process answers no request; its database is read instead.
bool isStopped(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  auto close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'T';
}

Dictionary ask(const fs::path& root, const std::string& process, const Dictionary& request) {
  auto loop = platform::runloop::makeEventRunLoop();
  auto center = joinDeviceBus(root, *loop);
  Dictionary answer = platform::runtime::sendHostRequest(*center, *loop, process, request);
  if (const Value* error = platform::foundation::find(answer, "error")) {
    throw platform::Error(process + ": " + error->description());
  }
  return answer;
}

// A conversation as the command shows it.
struct Listing {
  Array messages;
  long long unreadCount = 0;
};

// The conversation from the running messenger, or read-only from its database file.
Listing listingOf(const fs::path& root, std::int64_t conversation) {
  requireDevice(root);
  auto viber = runningPid(root, "Viber");
  if (viber && runningPid(root, "dbus") && !isStopped(*viber)) {
    Dictionary answer = ask(root, "Viber",
                            {{"command", Value("messages")},
                             {"conversation", Value(static_cast<long long>(conversation))}});
    const Value* list = platform::foundation::find(answer, "messages");
    const Value* unread = platform::foundation::find(answer, "unreadCount");
    return {list && list->asArray() ? *list->asArray() : Array{},
            unread ? unread->longLongValue().value_or(0) : 0};
  }
  auto where = findViber(root);
  if (!where) throw platform::Error("Viber is not installed on the device at " + root.string());
  auto read = platform::messenger::readConversationReadOnly(
      where->dataContainer / platform::viberdb::kDatabaseRelativePath, conversation);
  Listing out{{}, static_cast<long long>(read.unreadCount)};
  for (auto& m : read.messages) out.messages.push_back(Value(std::move(m)));
  return out;
}

std::string field(const Dictionary& d, const char* key) {
  const Value* v = platform::foundation::find(d, key);
  return v ? v->description() : "";
}

// "2016-01-01T10:00:00Z  +15550100001: text  [picture 1700.jpg, uploaded]  (key 3, token 62...)",
// with "  unread" after a message not read yet.
void printMessage(const Dictionary& m) {
  const Value* date = platform::foundation::find(m, "date");
  std::string when = date && date->asDate() ? isoDate(*date->asDate()) : "";
  bool outgoing = field(m, "outgoing") == "1";
  std::string who = outgoing ? "me" : field(m, "author");
  std::cout << when << "  " << who << ": " << field(m, "text");
  if (platform::foundation::find(m, "attachment")) {
    std::cout << "  [picture " << field(m, "attachment") << ", "
              << (field(m, "uploaded") == "1" ? "uploaded" : "not uploaded") << "]";
  }
  std::cout << "  (key " << field(m, "key") << ", token " << field(m, "token") << ")"
            << (field(m, "read") == "0" ? "  unread" : "") << "\n";
}

}  // namespace

void addMessengerCommands(CLI::App& app, int& exitCode) {
  struct MessagesOptions {
    fs::path root;
    std::int64_t conversation = 0;
    bool json = false;
  };
  auto messages = std::make_shared<MessagesOptions>();
  auto* messagesCmd =
      app.add_subcommand("messages", "list a conversation's messages as the messenger holds them");
  addRootOption(messagesCmd, messages->root);
  messagesCmd->add_option("--conversation", messages->conversation, "conversation key (Z_PK)")
      ->required();
  messagesCmd->add_flag("--json", messages->json,
                        "print the conversation as one JSON object: conversation, unreadCount "
                        "and the messages");
  messagesCmd->footer("Example: pxviber messages --root /tmp/phone --conversation 1 --json");
  messagesCmd->callback([messages, &exitCode] {
    Listing listing = listingOf(messages->root, messages->conversation);
    if (messages->json) {
      Dictionary shown{{"conversation", Value(static_cast<long long>(messages->conversation))},
                       {"unreadCount", Value(listing.unreadCount)},
                       {"messages", Value(std::move(listing.messages))}};
      std::cout << toJson(Value(std::move(shown))) << "\n";
    } else {
      std::cout << "conversation " << messages->conversation << ": " << listing.messages.size()
                << " messages, " << listing.unreadCount << " unread\n";
      for (const auto& m : listing.messages) {
        if (m.asDictionary()) printMessage(*m.asDictionary());
      }
    }
    exitCode = kOk;
  });

  struct RefreshOptions {
    fs::path root;
    bool lightweight = false;
  };
  auto refresh = std::make_shared<RefreshOptions>();
  auto* refreshCmd =
      app.add_subcommand("refresh", "make the running messenger create its database manager anew");
  addRootOption(refreshCmd, refresh->root);
  refreshCmd->add_flag("--lightweight", refresh->lightweight,
                       "create it through initInLightweightMode instead of init");
  refreshCmd->footer("Example: pxviber refresh --root /tmp/phone --lightweight");
  refreshCmd->callback([refresh, &exitCode] {
    requireDevice(refresh->root);
    if (!runningPid(refresh->root, "Viber")) {
      throw platform::Error("Viber is not running on the device at " + refresh->root.string());
    }
    Dictionary answer =
        ask(refresh->root, "Viber",
            {{"command", Value("refresh")}, {"lightweight", Value(refresh->lightweight)}});
    std::cout << "the messenger's manager is now " << field(answer, "manager") << "\n";
    exitCode = kOk;
  });
}

void addAlertsCommand(CLI::App& app, int& exitCode) {
  struct AlertsOptions {
    fs::path root;
    bool json = false;
  };
  auto alerts = std::make_shared<AlertsOptions>();
  auto* alertsCmd = app.add_subcommand("alerts", "list the alerts the springboard has shown");
  addRootOption(alertsCmd, alerts->root);
  alertsCmd->add_flag("--json", alerts->json, "print the alerts as a JSON array");
  alertsCmd->footer("Example: pxviber alerts --root /tmp/phone");
  alertsCmd->callback([alerts, &exitCode] {
    requireDevice(alerts->root);
    Dictionary answer = ask(alerts->root, "SpringBoard", {{"command", Value("alerts")}});
    const Value* list = platform::foundation::find(answer, "alerts");
    Array shown = list && list->asArray() ? *list->asArray() : Array{};
    if (alerts->json) {
      std::cout << toJson(Value(shown)) << "\n";
    } else {
      if (shown.empty()) std::cout << "no alerts shown\n";
      for (const auto& a : shown) {
        if (!a.asDictionary()) continue;
        std::string buttons;
        if (const Value* b = platform::foundation::find(*a.asDictionary(), "buttons");
            b && b->asArray()) {
          for (const auto& t : *b->asArray()) buttons += "[" + t.description() + "]";
        }
        std::cout << field(*a.asDictionary(), "title") << " / "
                  << field(*a.asDictionary(), "message") << " " << buttons << "\n";
      }
    }
    exitCode = kOk;
  });
}

}  // namespace pxviber
