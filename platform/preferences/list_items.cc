#include "platform/preferences/list_items.h"

#include <fmt/format.h>

#include <array>
#include <utility>

namespace platform::preferences {

using foundation::Dictionary;
using foundation::Value;

namespace {

constexpr std::array<std::pair<CellType, std::string_view>, 5> kCellNames{{
    {CellType::Group, "PSGroupCell"},
    {CellType::Switch, "PSSwitchCell"},
    {CellType::EditText, "PSEditTextCell"},
    {CellType::Button, "PSButtonCell"},
    {CellType::Link, "PSLinkCell"},
}};

// Reads the fields of one entry, noting each field it has to ignore. An entry is
// named in the notes by its position (counted from 1, as a person counts rows)
// and by its label when it has one.
class EntryReader {
 public:
  EntryReader(const Dictionary& entry, size_t index, std::vector<std::string>& notes)
      : entry_(entry), notes_(notes) {
    name_ = fmt::format("item {}", index + 1);
    const Value* label = foundation::find(entry, "label");
    if (label && label->asString()) name_ += fmt::format(" (\"{}\")", *label->asString());
  }

  const std::string& name() const { return name_; }

  // The field when it is a string; a present field of another kind is noted.
  std::optional<std::string> stringField(std::string_view field) {
    const Value* v = foundation::find(entry_, field);
    if (!v) return std::nullopt;
    if (const std::string* s = v->asString()) return *s;
    note(fmt::format("{} is not a string, ignored", field));
    return std::nullopt;
  }

  // The field when it is a number (a real is truncated as longLongValue does).
  std::optional<std::int64_t> integerField(std::string_view field) {
    const Value* v = foundation::find(entry_, field);
    if (!v) return std::nullopt;
    if (v->isNumber() && !v->asBoolean()) return v->longLongValue();
    note(fmt::format("{} is not a number, ignored", field));
    return std::nullopt;
  }

  // "default": a Boolean, number or string; other kinds cannot be shown in a row.
  std::optional<Value> defaultField() {
    const Value* v = foundation::find(entry_, "default");
    if (!v) return std::nullopt;
    if (v->isNumber() || v->asString()) return *v;
    note("default is neither a number nor a string, ignored");
    return std::nullopt;
  }

  void note(const std::string& what) { notes_.push_back(name_ + ": " + what); }

 private:
  const Dictionary& entry_;
  std::vector<std::string>& notes_;
  std::string name_;
};

// Fills `s` from `entry`; false (with a note) when the row cannot be shown.
bool readEntry(EntryReader& r, PSSpecifier& s) {
  s.label = r.stringField("label").value_or("");
  s.postNotification = r.stringField("PostNotification");
  s.footerText = r.stringField("footerText");
  s.detail = r.stringField("detail");
  s.action = r.stringField("action");
  s.defaultValue = r.defaultField();
  if (s.cell == CellType::Switch || s.cell == CellType::EditText) {
    s.key = r.stringField("key");
    s.defaults = r.stringField("defaults");
    if (!s.key || s.key->empty()) {
      r.note(fmt::format("{} without a key, skipped", cellTypeName(s.cell)));
      return false;
    }
    if (!s.defaults || !isValidDefaultsDomain(*s.defaults)) {
      r.note(fmt::format("{} without a usable defaults domain, skipped", cellTypeName(s.cell)));
      return false;
    }
  }
  if (s.cell == CellType::EditText && r.stringField("keyboard") == "numbers") {
    s.keyboard = KeyboardType::Numbers;
    s.minimum = r.integerField("min");
    s.maximum = r.integerField("max");
    if (s.minimum && s.maximum && *s.minimum > *s.maximum) {
      r.note("min is above max, bounds ignored");
      s.minimum.reset();
      s.maximum.reset();
    }
  }
  if (s.cell == CellType::Button && (!s.action || s.action->empty())) {
    r.note("PSButtonCell without an action, skipped");
    return false;
  }
  if (s.cell == CellType::Button && s.target && !s.target->respondsToSelector(*s.action)) {
    r.note(fmt::format("action \"{}\" is not a method of the list's target, skipped", *s.action));
    return false;
  }
  if (s.cell == CellType::Link && (!s.detail || s.detail->empty())) {
    r.note("PSLinkCell without a detail controller, skipped");
    return false;
  }
  return true;
}

}  // namespace

std::optional<CellType> cellTypeNamed(std::string_view name) {
  for (auto& [type, n] : kCellNames) {
    if (n == name) return type;
  }
  return std::nullopt;
}

std::string_view cellTypeName(CellType type) {
  for (auto& [t, n] : kCellNames) {
    if (t == type) return n;
  }
  return "?";
}

bool isValidDefaultsDomain(std::string_view domain) {
  return !domain.empty() && domain != "." && domain != ".." &&
         domain.find('/') == std::string_view::npos && domain.find('\0') == std::string_view::npos;
}

std::optional<SpecifierList> parseSpecifierList(const Value& root, ActionTarget* target,
                                                std::string* failure) {
  const Dictionary* top = root.asDictionary();
  if (!top) {
    if (failure) *failure = "the root is not a dictionary";
    return std::nullopt;
  }
  const Value* items = foundation::find(*top, "items");
  if (!items || !items->asArray()) {
    if (failure) *failure = "it has no \"items\" array";
    return std::nullopt;
  }
  SpecifierList list;
  if (const Value* title = foundation::find(*top, "title")) {
    if (title->asString()) {
      list.title = *title->asString();
    } else {
      list.skipped.push_back("title is not a string, ignored");
    }
  }
  const foundation::Array& entries = *items->asArray();
  for (size_t i = 0; i < entries.size(); ++i) {
    const Dictionary* entry = entries[i].asDictionary();
    if (!entry) {
      list.skipped.push_back(fmt::format("item {}: not a dictionary, skipped", i + 1));
      continue;
    }
    EntryReader reader(*entry, i, list.skipped);
    std::optional<std::string> cellName = reader.stringField("cell");
    std::optional<CellType> cell = cellName ? cellTypeNamed(*cellName) : std::nullopt;
    if (!cell) {
      reader.note(cellName ? fmt::format("unknown cell \"{}\", skipped", *cellName)
                           : std::string("no cell type, skipped"));
      continue;
    }
    PSSpecifier s;
    s.cell = *cell;
    s.target = target;
    if (readEntry(reader, s)) list.items.push_back(std::move(s));
  }
  return list;
}

}  // namespace platform::preferences
