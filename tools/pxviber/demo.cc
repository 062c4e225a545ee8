#include "tools/pxviber/demo.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <CLI/CLI.hpp>

#include <chrono>
#include <functional>
#include <iostream>
#include <thread>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/graphics/ui_image.h"
#include "platform/messenger/messenger_database.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/json.h"
#include "tools/pxviber/push.h"
#include "tools/pxviber/sample_photo.h"

namespace pxviber {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

using Clock = std::chrono::steady_clock;

// One step's outcome: what it showed and, when a check failed, what.
struct StepReport {
  std::string title;
  double seconds = 0;
  std::vector<std::string> shown;
  std::string failure;  // empty when every check held
};

// Thrown by a failed check; ends the step.
struct CheckFailed {
  std::string what;
};

void check(bool condition, const std::string& what) {
  if (!condition) throw CheckFailed{what};
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

std::string text(const Dictionary& d, const char* key) {
  const Value* v = foundation::find(d, key);
  return v && v->asString() ? *v->asString() : std::string();
}

class Demo {
 public:
  Demo(fs::path root, ViberLocation viber)
      : root_(std::move(root)), viber_(std::move(viber)), sample_(*viber_.sample) {
    loop_ = platform::runloop::makeEventRunLoop();
    center_ = joinDeviceBus(root_, *loop_);
  }

  std::vector<std::pair<std::string, std::function<void(StepReport&)>>> steps() {
    return {
        {"A Viber notification for a one-to-one chat opens the panel",
         [this](auto& r) { oneToOne(r); }},
        {"A text reply launches the messenger, which sends it", [this](auto& r) { textReply(r); }},
        {"A group notification, found by number and group", [this](auto& r) { group(r); }},
        {"A photo reply resumes the stopped messenger", [this](auto& r) { photoReply(r); }},
        {"A reply to a deleted conversation comes back as an alert",
         [this](auto& r) { deleted(r); }},
        {"Turning the history off takes effect at once", [this](auto& r) { historyOff(r); }}};
  }

 private:
  Dictionary ask(const std::string& process, const Dictionary& request) {
    auto answer = platform::runtime::sendHostRequest(*center_, *loop_, process, request);
    if (const Value* error = foundation::find(answer, "error"))
      throw CheckFailed{error->description()};
    return answer;
  }

  Dictionary push(const NotificationContent& note, StepReport& r) {
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

  Dictionary reply(const Dictionary& what, StepReport& r) {
    Dictionary request = what;
    request["command"] = Value("reply");
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

  std::vector<Dictionary> messages(std::int64_t conversation) {
    return platform::messenger::readMessagesReadOnly(
        viber_.dataContainer / "Documents/Contacts.data", conversation);
  }

  // Waits up to `timeout` for `done`, turning the bus meanwhile.
  bool waitFor(const std::function<bool()>& done, double timeout = 12) {
    return loop_->runUntil(done, platform::runloop::Seconds(timeout));
  }

  std::vector<const Value*> messageValues(const Dictionary& panel) {
    std::vector<const Value*> out;
    if (const Value* list = foundation::find(panel, "messages"); list && list->asArray()) {
      for (auto& m : *list->asArray()) out.push_back(&m);
    }
    return out;
  }

  void oneToOne(StepReport& r) {
    Dictionary panel = push(notification(std::to_string(sample_.aliceLatestToken), "", "",
                                         "Alice Smith: Where are you? 😀", "remote"),
                            r);
    check(text(panel, "user") == std::to_string(sample_.aliceChat),
          "the panel is Alice's conversation");
    check(text(panel, "nickname") == "Alice Smith", "the nickname is the sender's name");
    auto list = messageValues(panel);
    check(!list.empty() && list.size() <= 10, "the history holds the newest messages, at most 10");
    for (size_t i = 1; i < list.size(); ++i) {
      auto* a = foundation::find(*list[i - 1]->asDictionary(), "timestamp");
      auto* b = foundation::find(*list[i]->asDictionary(), "timestamp");
      check(a && b && a->asDate() && b->asDate() && *a->asDate() <= *b->asDate(),
            "the history is oldest first");
    }
  }

  void textReply(StepReport& r) {
    check(!runningPid(root_, "Viber"), "the messenger is not running before the reply");
    size_t before = messages(sample_.aliceChat).size();
    const std::string sent = "On my way 🚲";
    reply({{"text", Value(sent)}}, r);
    check(lastWake_ == "launch com.viber background",
          "the messenger is launched in the background");
    bool arrived = waitFor([&] { return messages(sample_.aliceChat).size() == before + 1; });
    check(arrived, "the messenger sent the reply");
    Dictionary last = messages(sample_.aliceChat).back();
    r.shown.push_back(
        "messenger's database: outgoing=" + foundation::find(last, "outgoing")->description() +
        " text=\"" + text(last, "text") + "\"");
    check(text(last, "text") == sent, "the sent text is the reply, byte for byte");
    check(*foundation::find(last, "outgoing")->asBoolean(), "the sent message is outgoing");
  }

  void group(StepReport& r) {
    Dictionary panel = push(notification("", sample_.dave.number, sample_.weekendGroupId,
                                         "+15550100004: see you at eight", "userinfo"),
                            r);
    check(text(panel, "user") == std::to_string(sample_.weekendGroup),
          "the panel is the group's conversation");
    bool named = false;
    for (auto* m : messageValues(panel)) {
      const Dictionary& d = *m->asDictionary();
      const Value* outgoing = foundation::find(d, "outgoing");
      std::string author = text(d, "authorDisplayName");
      if (outgoing && !*outgoing->asBoolean() && !author.empty() &&
          text(d, "content").rfind(author + ": ", 0) == 0) {
        named = true;
      }
    }
    check(named, "incoming group messages carry their author's name");
  }

  void photoReply(StepReport& r) {
    Dictionary state = ask("SpringBoard", {{"command", Value("app")},
                                           {"action", Value("suspend")},
                                           {"identifier", Value("com.viber")}});
    r.shown.push_back("messenger: " + text(state, "name"));
    check(foundation::find(state, "state")->longLongValue() == 2, "the messenger is suspended");
    fs::path photo = root_.parent_path() / "photo.jpg";
    writePhoto(photo);
    r.shown.push_back("photo: 4032 × 3024 stored pixels, EXIF orientation 6 (turn right), " +
                      std::to_string(fs::file_size(photo) / 1024) + " KiB");
    Dictionary answer = reply({{"photo", Value(photo.string())}}, r);
    check(lastWake_ == "resume com.viber", "the stopped messenger is resumed");
    const Value* mailbox = foundation::find(answer, "mailbox");
    std::string name = mailbox && mailbox->asDictionary()
                           ? text(*mailbox->asDictionary(), "messagePictureFile")
                           : "";
    check(!name.empty(), "the request names the attachment");
    for (const char* folder : {"Attachments", "AttachmentsPreview"}) {
      fs::path file = viber_.dataContainer / "Documents" / folder / name;
      auto bytes = foundation::readFile(file);
      auto image = bytes ? platform::graphics::UIImage::initWithData(std::move(*bytes)) : nullptr;
      check(image != nullptr, std::string("the ") + folder + " file is a JPEG");
      r.shown.push_back(std::string(folder) + "/" + name + ": " +
                        std::to_string(image->CGImage()->width()) + " × " +
                        std::to_string(image->CGImage()->height()) + " pixels");
    }
    bool uploaded = waitFor([&] {
      for (auto& m : messages(sample_.weekendGroup)) {
        const Value* up = foundation::find(m, "uploaded");
        if (text(m, "attachment") == name && up && *up->asBoolean()) return true;
      }
      return false;
    });
    check(uploaded, "the messenger sent the picture and uploaded the attachment");
    r.shown.push_back("messenger's database: picture " + name + " uploaded");
  }

  void writePhoto(const fs::path& path) {
    try {
      writeSamplePhoto(path);
    } catch (const platform::Error& e) {
      throw CheckFailed{e.what()};
    }
  }

  void deleted(StepReport& r) {
    push(notification(std::to_string(sample_.bobLatestToken), "", "", "Bob: Lunch today?", "local"),
         r);
    deleteConversation(sample_.bobChat);
    r.shown.push_back("conversation " + std::to_string(sample_.bobChat) +
                      " deleted from the messenger's database");
    size_t before = alerts().size();
    reply({{"text", Value("Sure, at one?")}}, r);
    bool shown = waitFor([&] { return alerts().size() > before; });
    check(shown, "the springboard shows an alert");
    Dictionary alert = alerts().back();
    r.shown.push_back("alert: \"" + text(alert, "title") + "\" / \"" + text(alert, "message") +
                      "\" [OK]");
    check(text(alert, "title") == "PXVIBER Error", "the alert's title");
    check(text(alert, "message") == "Unable to match conversation. Message not sent.",
          "the alert's text");
  }

  std::vector<Dictionary> alerts() {
    std::vector<Dictionary> out;
    Dictionary answer = ask("SpringBoard", {{"command", Value("alerts")}});
    if (const Value* list = foundation::find(answer, "alerts"); list && list->asArray()) {
      for (auto& a : *list->asArray()) {
        if (a.asDictionary()) out.push_back(*a.asDictionary());
      }
    }
    return out;
  }

  void deleteConversation(std::int64_t key) {
    sqlite3* db = nullptr;
    std::string file = (viber_.dataContainer / "Documents/Contacts.data").string();
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) sqlite3_busy_timeout(db, 5000);
    std::string sql = "DELETE FROM ZCONVERSATION WHERE Z_PK = " + std::to_string(key) + ";";
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    check(rc == SQLITE_OK, "the conversation is deleted");
  }

  void historyOff(StepReport& r) {
    fs::path settings =
        root_ / "var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";
    foundation::updateDictionaryFile(settings,
                                     [](Dictionary& d) { d["fetchHistoryFromDB"] = Value(false); });
    center_->postNotification("org.northquay.parlexviber.preferencesChanged");
    r.shown.push_back("settings: fetchHistoryFromDB = NO, preferences notification posted");
    Dictionary panel = push(notification(std::to_string(sample_.aliceLatestToken), "", "",
                                         "Alice Smith: Where are you? 😀", "remote"),
                            r);
    check(text(panel, "user") == std::to_string(sample_.aliceChat),
          "the panel is Alice's conversation");
    check(messageValues(panel).empty(), "the panel has no history");
  }

  fs::path root_;
  ViberLocation viber_;
  platform::viberdb::SampleContent sample_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
  std::string lastWake_;
};

void printStep(const StepReport& r, size_t index, size_t count, bool json) {
  if (json) {
    foundation::Array shown;
    for (auto& s : r.shown) shown.push_back(Value(s));
    Dictionary d{{"step", Value(static_cast<long long>(index))},
                 {"title", Value(r.title)},
                 {"ok", Value(r.failure.empty())},
                 {"seconds", Value(r.seconds)},
                 {"shown", Value(shown)}};
    if (!r.failure.empty()) d["failure"] = Value(r.failure);
    std::cout << toJson(Value(d)) << std::endl;
    return;
  }
  std::cout << "[" << index << "/" << count << "] " << r.title << "\n";
  for (auto& s : r.shown) std::cout << "      " << s << "\n";
  std::cout << "      " << (r.failure.empty() ? "ok" : "FAILED: " + r.failure) << " ("
            << fmt::format("{:.2f}", r.seconds) << " s)\n"
            << std::endl;
}

}  // namespace

int runDemo(const DemoOptions& options) {
  char tmpl[] = "/tmp/pxviber-demo-XXXXXX";
  if (!::mkdtemp(tmpl)) throw platform::Error("cannot make a temporary folder");
  fs::path root = fs::path(tmpl) / "device";
  auto say = [&](const std::string& line) {
    if (!options.json) std::cout << line << std::endl;
  };
  say("Creating an iOS " + std::to_string(options.iosVersion) + " sample device at " +
      root.string());
  ViberLocation viber = createDevice(root, {.iosVersion = options.iosVersion});
  say("Starting its bus and springboard\n");
  startDevice(root);

  std::vector<StepReport> reports;
  try {
    Demo demo(root, viber);
    auto steps = demo.steps();
    for (size_t i = 0; i < steps.size(); ++i) {
      StepReport r{steps[i].first, 0, {}, {}};
      auto start = Clock::now();
      try {
        steps[i].second(r);
      } catch (const CheckFailed& f) {
        r.failure = f.what;
      } catch (const std::exception& e) {
        r.failure = e.what();
      }
      r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
      printStep(r, i + 1, steps.size(), options.json);
      reports.push_back(std::move(r));
    }
  } catch (...) {
    stopDevice(root);
    throw;
  }
  stopDevice(root);

  int failed = 0;
  for (auto& r : reports) failed += !r.failure.empty();
  if (!options.json) {
    std::cout << "Summary\n  step  result  seconds  what\n";
    for (size_t i = 0; i < reports.size(); ++i) {
      std::cout << fmt::format("  {:>4}  {:<6}  {:>7.2f}  {}\n", i + 1,
                               reports[i].failure.empty() ? "ok" : "FAILED", reports[i].seconds,
                               reports[i].title);
    }
    std::cout << fmt::format("{} of {} steps checked and passed\n", reports.size() - failed,
                             reports.size());
  }
  if (options.keep) {
    say("The device is kept at " + root.string() +
        " (its log: " + (root / "private/var/log/syslog").string() + ")");
  } else {
    std::error_code ec;
    fs::remove_all(fs::path(tmpl), ec);
  }
  for (size_t i = 0; i < reports.size(); ++i) {
    if (!reports[i].failure.empty()) {
      std::cerr << "pxviber demo: step " << i + 1 << " failed: " << reports[i].title << ": "
                << reports[i].failure << "\n";
    }
  }
  return failed == 0 ? kOk : kFailed;
}

void addDemoCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<DemoOptions>();
  auto* demo = app.add_subcommand("demo", "run the whole road of a reply on a sample device");
  demo->add_option("--ios", options->iosVersion, "iOS version of the device: 7, 8 or 9")
      ->check(CLI::Range(7, 9));
  demo->add_flag("--keep", options->keep, "keep the device folder afterwards");
  demo->add_flag("--json", options->json, "print each step as one JSON object");
  demo->footer("Example: pxviber demo --ios 9 --keep");
  demo->callback([options, &exitCode] { exitCode = runDemo(*options); });
}

}  // namespace pxviber
