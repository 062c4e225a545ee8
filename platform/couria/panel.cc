#include "platform/couria/panel.h"

#include <fmt/format.h>

#include <iostream>

#include "platform/foundation/date_format.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/runtime/class_registry.h"

namespace platform::couria {

using foundation::Dictionary;
using foundation::Value;

Panel presentBulletin(Couria& couria, const springboard::BBBulletin& bulletin) {
  if (!bulletin.sectionID) throw Error("the bulletin names no application (sectionID)");
  auto extension = couria.extensionForApplication(*bulletin.sectionID);
  if (!extension) {
    throw Error("no Couria extension is registered for " + *bulletin.sectionID +
                " (is the tweak installed?)");
  }
  Panel panel;
  panel.application = *bulletin.sectionID;
  panel.user = extension->getUserIdentifier(bulletin);
  panel.nickname = extension->getNickname(panel.user);
  panel.messages = extension->getMessages(panel.user);
  couria.setOpenPanel(OpenPanel{panel.application, panel.user});
  return panel;
}

std::string renderPanel(const Panel& panel) {
  std::string out = fmt::format(
      "Couria reply panel ({}): {} [conversation {}], {} message{}\n", panel.application,
      panel.nickname.value_or(panel.user.value_or("unknown sender")), panel.user.value_or("none"),
      panel.messages.size(), panel.messages.size() == 1 ? "" : "s");
  for (const auto& m : panel.messages) {
    auto when = m->timestamp();
    std::string time = when ? foundation::formatLocalDateTime(*when) : std::string(19, ' ');
    out += fmt::format("  {}  {} {}\n", time, m->outgoing() ? "        >" : "<",
                       foundation::describe(m->content()));
  }
  return out;
}

namespace {

Dictionary messageDictionary(const CouriaMessage& m) {
  Dictionary d;
  for (const char* key : kMessageProperties) {
    std::optional<Value> v;
    if (std::string_view(key) == "content") {
      if (auto content = m.content()) v = Value(content->description());
    } else if (std::string_view(key) == "outgoing") {
      v = Value(m.outgoing());
    } else if (std::string_view(key) == "timestamp") {
      if (auto t = m.timestamp()) v = Value(*t);
    } else {
      v = m.valueForKey(key);
    }
    if (v && !v->isNull()) d[key] = std::move(*v);
  }
  return d;
}

}  // namespace

Dictionary panelDictionary(const Panel& panel) {
  Dictionary d{{"application", Value(panel.application)}};
  if (panel.user) d["user"] = Value(*panel.user);
  if (panel.nickname) d["nickname"] = Value(*panel.nickname);
  foundation::Array messages;
  for (const auto& m : panel.messages) messages.push_back(Value(messageDictionary(*m)));
  d["messages"] = Value(std::move(messages));
  return d;
}

Dictionary answerBulletinRequest(const Dictionary& request) {
  const Value* b = foundation::find(request, "bulletin");
  if (!b || !b->asDictionary()) throw Error("the request holds no bulletin");
  auto* cls = runtime::lookUpClass<CouriaClass>("Couria");
  if (!cls) throw Error("Couria is not installed in this process");
  auto bulletin = springboard::BBBulletin::fromDictionary(*b->asDictionary());
  Panel panel = presentBulletin(*cls->sharedInstance(), bulletin);
  std::string text = renderPanel(panel);
  std::cout << text << std::flush;
  foundation::NSLog("SpringBoard: reply panel shown for {} (conversation {}, {} messages)",
                    panel.application, panel.user.value_or("(null)"), panel.messages.size());
  Dictionary answer = panelDictionary(panel);
  answer["text"] = Value(text);
  return answer;
}

}  // namespace platform::couria
