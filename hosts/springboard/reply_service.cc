#include "hosts/springboard/reply_service.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "hosts/springboard/application_services.h"
#include "hosts/springboard/post_watch.h"
#include "hosts/springboard/springboard_services.h"
#include "platform/couria/couria.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/class_registry.h"

namespace hosts {

namespace foundation = platform::foundation;
using foundation::Dictionary;
using foundation::Value;

namespace {

// What the request asks to be read at the first post.
struct Snapshot {
  std::string file;  // device path
  std::vector<std::string> keys;
};

std::optional<Snapshot> snapshotOf(const Dictionary& request) {
  const Value* s = foundation::find(request, "snapshot");
  const Dictionary* d = s ? s->asDictionary() : nullptr;
  const Value* file = d ? foundation::find(*d, "file") : nullptr;
  if (!file || !file->asString()) return std::nullopt;
  Snapshot snapshot{*file->asString(), {}};
  if (const Value* keys = foundation::find(*d, "keys"); keys && keys->asArray()) {
    for (const auto& k : *keys->asArray()) {
      if (k.asString()) snapshot.keys.push_back(*k.asString());
    }
  }
  return snapshot;
}

Dictionary read(const Snapshot& snapshot) {
  Dictionary out;
  auto file = foundation::readDictionaryFile(foundation::hostPath(snapshot.file));
  for (const auto& key : snapshot.keys) {
    if (const Value* v = file ? foundation::find(*file, key) : nullptr) out[key] = *v;
  }
  return out;
}

foundation::Id replyContent(const Dictionary& request) {
  if (const Value* text = foundation::find(request, "text"); text && text->asString()) {
    return std::make_shared<foundation::NSString>(*text->asString());
  }
  if (const Value* photo = foundation::find(request, "photo"); photo && photo->asString()) {
    return foundation::NSURL::fileURLWithPath(
        std::filesystem::absolute(*photo->asString()).string());
  }
  throw platform::Error("a reply needs a text or a photo");
}

template <class T, class Describe>
foundation::Array since(const std::vector<T>& all, size_t before, Describe describe) {
  foundation::Array out;
  for (size_t i = before; i < all.size(); ++i) out.push_back(describe(all[i]));
  return out;
}

}  // namespace

Dictionary answerReply(const Dictionary& request) {
  auto* cls = platform::runtime::lookUpClass<platform::couria::CouriaClass>("Couria");
  auto couria = cls ? cls->sharedInstance() : nullptr;
  if (!couria || !couria->openPanel()) {
    throw platform::Error("no reply panel is open (push a notification first)");
  }
  const auto& panel = *couria->openPanel();
  auto extension = couria->extensionForApplication(panel.application);
  if (!extension) throw platform::Error("no extension for " + panel.application);
  foundation::Id content = replyContent(request);
  auto snapshot = snapshotOf(request);

  size_t actionsBefore = applicationActions().size();
  size_t alertsBefore = shownAlerts().size();
  bool posted = false;
  std::optional<Dictionary> taken;
  {
    WatchingPosts watching([&](std::string_view) {
      if (!posted && snapshot) taken = read(*snapshot);
      posted = true;
    });
    extension->sendMessage(std::make_shared<platform::couria::ReplyMessage>(content), panel.user);
  }

  Dictionary answer{{"posted", Value(posted)}};
  if (panel.user) answer["user"] = Value(*panel.user);
  if (taken) answer["snapshot"] = Value(*taken);
  answer["wake"] = Value(
      since(applicationActions(), actionsBefore, [](const std::string& a) { return Value(a); }));
  answer["alerts"] = Value(since(shownAlerts(), alertsBefore, alertValue));
  return answer;
}

}  // namespace hosts
