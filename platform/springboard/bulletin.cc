#include "platform/springboard/bulletin.h"

#include <fmt/format.h>

namespace platform::springboard {

using foundation::Dictionary;
using foundation::Value;

namespace {

// The optional fields in the order a bulletin prints and stores them; `Bulletin`
// is BBBulletin or const BBBulletin, so one list serves writing and reading.
template <class Bulletin, class F>
void forEachField(Bulletin& b, F f) {
  f("defaultAction", b.defaultAction);
  f("acknowledgeAction", b.acknowledgeAction);
  f("alternateAction", b.alternateAction);
  f("publisherBulletinID", b.publisherBulletinID);
  f("recordID", b.recordID);
  f("actions", b.actions);
  f("supplementaryActions", b.supplementaryActions);
}

}  // namespace

std::string BBBulletin::description() const {
  return fmt::format("<BBBulletin: {}> section={}, message={}", fmt::ptr(this),
                     sectionID.value_or("(null)"), message.value_or("(null)"));
}

Dictionary BBBulletin::toDictionary() const {
  Dictionary d;
  d["context"] = Value(context);
  if (message) d["message"] = Value(*message);
  if (sectionID) d["sectionID"] = Value(*sectionID);
  forEachField(*this, [&](const char* key, const Value& v) {
    if (!v.isNull()) d[key] = v;
  });
  return d;
}

BBBulletin BBBulletin::fromDictionary(const Dictionary& d) {
  BBBulletin b;
  if (const Value* c = foundation::find(d, "context"); c && c->asDictionary()) {
    b.context = *c->asDictionary();
  }
  if (const Value* m = foundation::find(d, "message"); m && m->asString())
    b.message = *m->asString();
  if (const Value* s = foundation::find(d, "sectionID"); s && s->asString()) {
    b.sectionID = *s->asString();
  }
  forEachField(b, [&](const char* key, Value& into) {
    if (const Value* v = foundation::find(d, key)) into = *v;
  });
  return b;
}

foundation::Bytes UILocalNotification::archive() const {
  foundation::ArchivedObject object{"UILocalNotification", {"UILocalNotification", "NSObject"}, {}};
  if (alertBody) object.fields["alertBody"] = Value(*alertBody);
  if (fireDate) object.fields["fireDate"] = Value(*fireDate);
  if (!userInfo.isNull()) object.fields["userInfo"] = userInfo;
  return foundation::archivedDataWithRootObject(object);
}

std::optional<Value> userInfoOf(const foundation::ArchivedObject& object) {
  bool answers = object.className == "UILocalNotification";
  for (const auto& c : object.classes) answers = answers || c == "UILocalNotification";
  if (!answers) return std::nullopt;
  const Value* info = foundation::find(object.fields, "userInfo");
  return info ? *info : Value();
}

}  // namespace platform::springboard
