#include "tools/pxviber/demo_session.h"

#include <signal.h>
#include <sqlite3.h>

#include "platform/messenger/messenger_database.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "platform/viberdb/viber_database.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/outbox.h"
#include "tweak/core/preferences.h"

namespace pxviber {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

void check(bool condition, const std::string& what) {
  if (!condition) throw CheckFailed{what};
}

std::string text(const Dictionary& d, const char* key) {
  const Value* v = foundation::find(d, key);
  return v && v->asString() ? *v->asString() : std::string();
}

NotificationContent notification(std::string token, std::string number, std::string group,
                                 std::string text, std::string form) {
  NotificationContent note;
  note.token = std::move(token);
  note.number = std::move(number);
  if (!group.empty()) note.group = std::move(group);
  note.text = std::move(text);
  note.form = std::move(form);
  return note;
}

DemoSession::DemoSession(fs::path root, ViberLocation viber)
    : root_(std::move(root)), viber_(std::move(viber)), sample_(*viber_.sample) {
  loop_ = platform::runloop::makeEventRunLoop();
  center_ = joinDeviceBus(root_, *loop_);
}

Dictionary DemoSession::ask(const std::string& process, const Dictionary& request) {
  auto answer = platform::runtime::sendHostRequest(*center_, *loop_, process, request);
  if (const Value* error = foundation::find(answer, "error"))
    throw CheckFailed{error->description()};
  return answer;
}

Dictionary DemoSession::push(const NotificationContent& note, StepReport& r) {
  Dictionary panel = ask("SpringBoard", {{"command", Value("bulletin")},
                                         {"bulletin", Value(makeBulletin(note).toDictionary())}});
  r.shown.push_back("notification: \"" + note.text + "\" (" + note.form + " payload)");
  std::string rendered = text(panel, "text");
  size_t start = 0;
  while (start < rendered.size()) {
    size_t end = rendered.find('\n', start);
    if (end == std::string::npos) end = rendered.size();
    r.shown.push_back("  " + rendered.substr(start, end - start));
    start = end + 1;
  }
  return panel;
}

Dictionary DemoSession::reply(const Dictionary& what, StepReport& r) {
  Dictionary request = what;
  request["command"] = Value("reply");
  // The keys `pxviber reply` reads at the post: the request's own identifier
  // among them, by which its outcome is followed.
  foundation::Array keys;
  for (const auto& k : replySnapshotKeys()) keys.push_back(Value(k));
  request["snapshot"] = Value(
      Dictionary{{"file", Value(tweak::kPreferencesDevicePath)}, {"keys", Value(std::move(keys))}});
  Dictionary answer = ask("SpringBoard", request);
  std::string wake;
  if (const Value* w = foundation::find(answer, "wake"); w && w->asArray()) {
    for (auto& a : *w->asArray()) wake += (wake.empty() ? "" : ", ") + a.description();
  }
  r.shown.push_back("messenger woken: " +
                    (wake.empty() ? std::string("no (already in the foreground)") : wake));
  lastWake_ = wake;
  return answer;
}

std::vector<Dictionary> DemoSession::messages(std::int64_t conversation) {
  return platform::messenger::readMessagesReadOnly(
      viber_.dataContainer / platform::viberdb::kDatabaseRelativePath, conversation);
}

std::int64_t DemoSession::unreadCount(std::int64_t conversation) {
  return platform::messenger::readConversationReadOnly(
             viber_.dataContainer / platform::viberdb::kDatabaseRelativePath, conversation)
      .unreadCount;
}

bool DemoSession::waitFor(const std::function<bool()>& done, double timeout) {
  return loop_->runUntil(done, platform::runloop::Seconds(timeout));
}

std::vector<const Value*> DemoSession::messageValues(const Dictionary& panel) {
  std::vector<const Value*> out;
  if (const Value* list = foundation::find(panel, "messages"); list && list->asArray()) {
    for (auto& m : *list->asArray()) out.push_back(&m);
  }
  return out;
}

std::vector<Dictionary> DemoSession::alerts() {
  std::vector<Dictionary> out;
  Dictionary answer = ask("SpringBoard", {{"command", Value("alerts")}});
  if (const Value* list = foundation::find(answer, "alerts"); list && list->asArray()) {
    for (auto& a : *list->asArray()) {
      if (a.asDictionary()) out.push_back(*a.asDictionary());
    }
  }
  return out;
}

void DemoSession::deleteConversation(std::int64_t key) {
  sqlite3* db = nullptr;
  std::string file = (viber_.dataContainer / platform::viberdb::kDatabaseRelativePath).string();
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) sqlite3_busy_timeout(db, 5000);
  std::string sql = "DELETE FROM ZCONVERSATION WHERE Z_PK = " + std::to_string(key) + ";";
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  check(rc == SQLITE_OK, "the conversation is deleted");
}

void DemoSession::quitMessenger() {
  auto pid = runningPid(root_, "Viber");
  if (!pid) return;
  ::kill(*pid, SIGTERM);
  ::kill(*pid, SIGCONT);  // a suspended messenger has to run to quit
  check(waitFor([&] { return !runningPid(root_, "Viber"); }), "the messenger quits");
}

}  // namespace pxviber
