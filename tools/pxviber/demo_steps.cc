// The demo's steps: each shows what happened on the device and checks it.
#include <fmt/format.h>

#include <algorithm>

#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/property_list.h"
#include "platform/graphics/ui_image.h"
#include "platform/notify/notify_center.h"
#include "tools/pxviber/demo_session.h"
#include "tools/pxviber/outbox.h"
#include "tools/pxviber/sample_photo.h"

namespace pxviber {

namespace fs = std::filesystem;
namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

// Alice's latest message as a notification; the panel it opens.
Dictionary alicePanel(DemoSession& s, StepReport& r) {
  const auto& sample = s.sample();
  Dictionary panel = s.push(notification(std::to_string(sample.aliceLatestToken), "", "",
                                         "Alice Smith: Where are you? 😀", "remote"),
                            r);
  check(text(panel, "user") == std::to_string(sample.aliceChat),
        "the panel is Alice's conversation");
  return panel;
}

void oneToOne(DemoSession& s, StepReport& r) {
  Dictionary panel = alicePanel(s, r);
  check(text(panel, "nickname") == "Alice Smith", "the nickname is the sender's name");
  auto list = s.messageValues(panel);
  check(!list.empty() && list.size() <= 10, "the history holds the newest messages, at most 10");
  for (size_t i = 1; i < list.size(); ++i) {
    auto* a = foundation::find(*list[i - 1]->asDictionary(), "timestamp");
    auto* b = foundation::find(*list[i]->asDictionary(), "timestamp");
    check(a && b && a->asDate() && b->asDate() && *a->asDate() <= *b->asDate(),
          "the history is oldest first");
  }
}

// The conversation's unread count before a reply, shown and checked to be
// something to clear.
std::int64_t unreadBefore(DemoSession& s, std::int64_t chat, const std::string& name,
                          StepReport& r) {
  std::int64_t unread = s.unreadCount(chat);
  r.shown.push_back(fmt::format("{}: {} unread before the reply", name, unread));
  check(unread > 0, name + " has unread messages before the reply");
  return unread;
}

// Once the reply is delivered, the messenger marks the conversation read.
void unreadAfter(DemoSession& s, std::int64_t chat, const std::string& name, StepReport& r) {
  bool cleared = s.waitFor([&] { return s.unreadCount(chat) == 0; });
  r.shown.push_back(fmt::format("{}: {} unread once the reply is delivered (marked read in Viber)",
                                name, s.unreadCount(chat)));
  check(cleared, "the delivered reply marks " + name + " read");
}

void textReply(DemoSession& s, StepReport& r) {
  check(!runningPid(s.root(), "Viber"), "the messenger is not running before the reply");
  auto chat = s.sample().aliceChat;
  size_t before = s.messages(chat).size();
  unreadBefore(s, chat, "Alice's chat", r);
  const std::string sent = "On my way 🚲";
  s.reply({{"text", Value(sent)}}, r);
  check(s.lastWake() == "launch com.viber background",
        "the messenger is launched in the background");
  check(s.waitFor([&] { return s.messages(chat).size() == before + 1; }),
        "the messenger sent the reply");
  Dictionary last = s.messages(chat).back();
  r.shown.push_back(
      "messenger's database: outgoing=" + foundation::find(last, "outgoing")->description() +
      " text=\"" + text(last, "text") + "\"");
  check(text(last, "text") == sent, "the sent text is the reply, byte for byte");
  check(*foundation::find(last, "outgoing")->asBoolean(), "the sent message is outgoing");
  unreadAfter(s, chat, "Alice's chat", r);
}

void group(DemoSession& s, StepReport& r) {
  const auto& sample = s.sample();
  Dictionary panel = s.push(notification("", sample.dave.number, sample.weekendGroupId,
                                         "+15550100004: see you at eight", "userinfo"),
                            r);
  check(text(panel, "user") == std::to_string(sample.weekendGroup),
        "the panel is the group's conversation");
  bool named = false;
  for (auto* m : s.messageValues(panel)) {
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

void showStoredFile(DemoSession& s, const char* folder, const std::string& name, StepReport& r) {
  fs::path file = s.viber().dataContainer / "Documents" / folder / name;
  auto bytes = foundation::readFile(file);
  auto image = bytes ? platform::graphics::UIImage::initWithData(std::move(*bytes)) : nullptr;
  check(image != nullptr, std::string("the ") + folder + " file is a JPEG");
  r.shown.push_back(fmt::format("{}/{}: {} × {} pixels", folder, name, image->CGImage()->width(),
                                image->CGImage()->height()));
}

void photoReply(DemoSession& s, StepReport& r) {
  Dictionary state = s.ask("SpringBoard", {{"command", Value("app")},
                                           {"action", Value("suspend")},
                                           {"identifier", Value("com.viber")}});
  r.shown.push_back("messenger: " + text(state, "name"));
  check(foundation::find(state, "state")->longLongValue() == 2, "the messenger is suspended");
  fs::path photo = s.root().parent_path() / "photo.jpg";
  try {
    writeSamplePhoto(photo);
  } catch (const platform::Error& e) {
    throw CheckFailed{e.what()};
  }
  r.shown.push_back("photo: 4032 × 3024 stored pixels, EXIF orientation 6 (turn right), " +
                    std::to_string(fs::file_size(photo) / 1024) + " KiB");
  unreadBefore(s, s.sample().weekendGroup, "the group's chat", r);
  Dictionary answer = s.reply({{"photo", Value(photo.string())}}, r);
  check(s.lastWake() == "resume com.viber", "the stopped messenger is resumed");
  const Value* snapshot = foundation::find(answer, "snapshot");
  std::string name = snapshot && snapshot->asDictionary()
                         ? text(*snapshot->asDictionary(), "messagePictureFile")
                         : "";
  check(!name.empty(), "the request names the attachment");
  for (const char* folder : {"Attachments", "AttachmentsPreview"}) {
    showStoredFile(s, folder, name, r);
  }
  bool uploaded = s.waitFor([&] {
    for (auto& m : s.messages(s.sample().weekendGroup)) {
      const Value* up = foundation::find(m, "uploaded");
      if (text(m, "attachment") == name && up && *up->asBoolean()) return true;
    }
    return false;
  });
  check(uploaded, "the messenger sent the picture and uploaded the attachment");
  r.shown.push_back("messenger's database: picture " + name + " uploaded");
  unreadAfter(s, s.sample().weekendGroup, "the group's chat", r);
}

void deleted(DemoSession& s, StepReport& r) {
  const auto& sample = s.sample();
  s.push(notification(std::to_string(sample.bobLatestToken), "", "", "Bob: Lunch today?", "local"),
         r);
  s.deleteConversation(sample.bobChat);
  r.shown.push_back("conversation " + std::to_string(sample.bobChat) +
                    " deleted from the messenger's database");
  size_t before = s.alerts().size();
  s.reply({{"text", Value("Sure, at one?")}}, r);
  check(s.waitFor([&] { return s.alerts().size() > before; }), "the springboard shows an alert");
  Dictionary alert = s.alerts().back();
  std::string message = text(alert, "message");
  std::string oneLine = message;
  std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
  r.shown.push_back("alert: \"" + text(alert, "title") + "\" / \"" + oneLine + "\" [OK]");
  check(text(alert, "title") == "PXVIBER Error", "the alert's title");
  check(message == "Unable to match conversation. Message not sent.\nReply to Bob (conversation " +
                       std::to_string(sample.bobChat) + "): \"Sure, at one?\"",
        "the alert's text names the reply");
}

// The newest outcome for each of the conversations, once both are recorded.
std::vector<tweak::Outcome> outcomesFor(const fs::path& root, const std::vector<std::string>& ids) {
  std::vector<tweak::Outcome> found;
  for (const auto& o : tweak::readOutcomes(readSettingsFile(root))) {
    if (std::find(ids.begin(), ids.end(), o.requestID) != ids.end()) found.push_back(o);
  }
  return found;
}

void twoQuickReplies(DemoSession& s, StepReport& r) {
  s.quitMessenger();
  r.shown.push_back("messenger quit: it is not running");
  const auto& sample = s.sample();
  std::vector<std::string> ids;
  std::vector<std::pair<std::int64_t, std::string>> replies{
      {sample.aliceChat, "first of two quick replies"},
      {sample.zoeChat, "second of two quick replies"}};
  s.push(notification(std::to_string(sample.aliceLatestToken), "", "", "Alice Smith: Hi", "remote"),
         r);
  auto answer = s.reply({{"text", Value(replies[0].second)}}, r);
  auto id = newestRequest(*foundation::find(answer, "snapshot")->asDictionary());
  s.push(notification(std::to_string(sample.zoeLatestToken), "", "", "Zoë Ångström: Hej", "remote"),
         r);
  answer = s.reply({{"text", Value(replies[1].second)}}, r);
  auto second = newestRequest(*foundation::find(answer, "snapshot")->asDictionary());
  check(id && second && *id != *second, "each reply is its own request");
  ids = {*id, *second};
  check(s.waitFor([&] { return outcomesFor(s.root(), ids).size() == 2; }),
        "both requests have an outcome");
  std::vector<std::int64_t> keys;
  for (const auto& o : outcomesFor(s.root(), ids)) {
    r.shown.push_back(o.reply + ": " + describeOutcome(o));
    check(o.delivered, "the reply is delivered");
    keys.push_back(o.messageKey.value_or(0));
  }
  check(keys[0] < keys[1], "the replies went out in the order they were typed");
  for (const auto& [chat, sent] : replies) {
    check(text(s.messages(chat).back(), "text") == sent, "each conversation got its own reply");
  }
}

void historyOff(DemoSession& s, StepReport& r) {
  fs::path settings =
      s.root() / "var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist";
  foundation::updateDictionaryFile(settings,
                                   [](Dictionary& d) { d["fetchHistoryFromDB"] = Value(false); });
  s.center().postNotification("org.northquay.parlexviber.preferencesChanged");
  r.shown.push_back("settings: fetchHistoryFromDB = NO, preferences notification posted");
  Dictionary panel = alicePanel(s, r);
  check(s.messageValues(panel).empty(), "the panel has no history");
}

}  // namespace

std::vector<DemoStep> demoSteps() {
  return {
      {"A Viber notification for a one-to-one chat opens the panel", oneToOne},
      {"A text reply launches the messenger, which sends it and marks the chat read", textReply},
      {"A group notification, found by number and group", group},
      {"A photo reply resumes the stopped messenger, which sends it and marks the chat read",
       photoReply},
      {"A reply to a deleted conversation comes back as an alert naming it", deleted},
      {"Two quick replies to two conversations, messenger not running, both delivered in "
       "order",
       twoQuickReplies},
      {"Turning the history off takes effect at once", historyOff}};
}

}  // namespace pxviber
