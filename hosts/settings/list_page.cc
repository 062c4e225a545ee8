#include "hosts/settings/list_page.h"

#include <fmt/format.h>
#include <gtkmm.h>

#include <map>

#include "platform/foundation/log.h"
#include "platform/preferences/list_items.h"
#include "platform/preferences/view_controller.h"

namespace hosts::settings {

namespace {

namespace pp = platform::preferences;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;

// The hint under a field that refused its text.
std::string rangeHint(const pp::PSSpecifier& s) {
  if (s.keyboard != pp::KeyboardType::Numbers) return "";
  if (s.minimum && s.maximum)
    return fmt::format("Enter a whole number from {} to {}.", *s.minimum, *s.maximum);
  return "Enter a whole number.";
}

// The value a field's text stands for; nullopt when the row refuses the text.
std::optional<Value> fieldValue(const pp::PSSpecifier& s, const std::string& text) {
  if (s.keyboard != pp::KeyboardType::Numbers) return Value(text);
  if (auto n = pp::parseWholeNumber(text, s.minimum, s.maximum)) return Value(*n);
  return std::nullopt;
}

// The text a field shows at first for the stored value.
std::string fieldText(const pp::PSSpecifier& s, const Value& shown) {
  if (shown.isNull()) return "";
  if (s.keyboard == pp::KeyboardType::Numbers)
    return std::to_string(shown.longLongValue().value_or(0));
  return shown.asString() ? *shown.asString() : shown.description();
}

class ListPageImpl final : public ListPage {
 public:
  explicit ListPageImpl(const std::shared_ptr<pp::PSListController>& controller);

  Gtk::Widget& widget() override { return scroller_; }
  void describe(Dictionary& state) const override;

  Gtk::Switch* switchFor(const std::string& key) const override { return find(switches_, key); }
  Gtk::Entry* fieldFor(const std::string& key) const override {
    auto it = fields_.find(key);
    return it == fields_.end() ? nullptr : it->second.entry;
  }
  Gtk::Button* buttonFor(const std::string& action) const override {
    return find(buttons_, action);
  }

 private:
  struct Field {
    Gtk::Entry* entry;
    Gtk::Label* hint;
    std::string committed;  // the text of the value stored last
  };

  template <typename W>
  static W* find(const std::map<std::string, W*>& widgets, const std::string& key) {
    auto it = widgets.find(key);
    return it == widgets.end() ? nullptr : it->second;
  }

  const pp::PSSpecifier& row(size_t i) const { return specifiers_->items[i]; }
  void build();
  void openGroup(const std::string& header);
  void closeGroup();
  Gtk::ListBox& currentList();
  Gtk::Box& newRow(const std::string& label);
  void addRow(size_t i);
  void addSwitch(size_t i);
  void addField(size_t i);
  Gtk::Entry* makeEntry(const pp::PSSpecifier& s, const std::string& text);
  void commit(size_t i);
  void addButton(size_t i);
  void onButton(size_t i);
  void pushDetail(const pp::PSSpecifier& s, pp::PSListController& controller);

  std::weak_ptr<pp::PSListController> controller_;
  pp::Specifiers specifiers_;
  Gtk::ScrolledWindow scroller_;
  Gtk::Box box_;
  Gtk::ListBox* list_ = nullptr;
  std::string footer_;
  std::map<std::string, Gtk::Switch*> switches_;
  std::map<std::string, Field> fields_;
  std::map<std::string, Gtk::Button*> buttons_;
};

ListPageImpl::ListPageImpl(const std::shared_ptr<pp::PSListController>& controller)
    : controller_(controller) {
  scroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
  box_.set_orientation(Gtk::Orientation::VERTICAL);
  box_.set_spacing(6);
  box_.set_margin(12);
  scroller_.set_child(box_);
  specifiers_ = controller->specifiers();
  if (!specifiers_) {
    box_.append(
        *makeNote("The settings of this pane could not be loaded: " + controller->lastLoadFailure(),
                  "warning-note"));
    return;
  }
  build();
}

void ListPageImpl::build() {
  for (size_t i = 0; i < specifiers_->items.size(); ++i) addRow(i);
  closeGroup();
  if (!specifiers_->skipped.empty())
    box_.append(
        *makeNote(bulletList("Left out of this page:", specifiers_->skipped), "warning-note"));
}

// "rows": each key with the value its widget shows; "refused": the keys whose
// field is marked as holding a refused text; "skipped": the rows left out.
void ListPageImpl::describe(Dictionary& state) const {
  Array skipped;
  if (specifiers_) {
    for (auto& line : specifiers_->skipped) skipped.emplace_back(line);
  }
  state["skipped"] = Value(std::move(skipped));
  Dictionary shown;
  Array refused;
  for (auto& [key, sw] : switches_) shown[key] = Value(sw->get_active());
  for (auto& [key, field] : fields_) {
    shown[key] = Value(std::string(field.entry->get_text()));
    if (field.entry->has_css_class(kRefusedFieldClass)) refused.emplace_back(key);
  }
  state["rows"] = Value(std::move(shown));
  state["refused"] = Value(std::move(refused));
}

void ListPageImpl::openGroup(const std::string& header) {
  closeGroup();
  if (header.empty()) return;
  auto* label = makeNote(header, "group-header");
  label->set_margin_top(12);
  box_.append(*label);
}

void ListPageImpl::closeGroup() {
  if (list_ && !footer_.empty()) box_.append(*makeNote(footer_, "dim-label"));
  list_ = nullptr;
  footer_.clear();
}

Gtk::ListBox& ListPageImpl::currentList() {
  if (!list_) {
    auto* frame = Gtk::make_managed<Gtk::Frame>();
    list_ = Gtk::make_managed<Gtk::ListBox>();
    list_->set_selection_mode(Gtk::SelectionMode::NONE);
    frame->set_child(*list_);
    box_.append(*frame);
  }
  return *list_;
}

Gtk::Box& ListPageImpl::newRow(const std::string& label) {
  auto* line = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
  line->set_margin(8);
  auto* text = Gtk::make_managed<Gtk::Label>(label);
  text->set_xalign(0);
  text->set_hexpand(true);
  line->append(*text);
  currentList().append(*line);
  return *line;
}

void ListPageImpl::addRow(size_t i) {
  const pp::PSSpecifier& s = row(i);
  switch (s.cell) {
    case pp::CellType::Group:
      openGroup(s.label);
      footer_ = s.footerText.value_or("");
      break;
    case pp::CellType::Switch:
      addSwitch(i);
      break;
    case pp::CellType::EditText:
      addField(i);
      break;
    case pp::CellType::Button:
    case pp::CellType::Link:
      addButton(i);
      break;
  }
}

void ListPageImpl::addSwitch(size_t i) {
  auto controller = controller_.lock();
  auto* sw = Gtk::make_managed<Gtk::Switch>();
  sw->set_valign(Gtk::Align::CENTER);
  sw->set_active(controller->readPreferenceValue(row(i)).boolValue().value_or(false));
  sw->property_active().signal_changed().connect([this, i, sw] {
    if (auto c = controller_.lock()) c->setPreferenceValue(Value(sw->get_active()), row(i));
  });
  newRow(row(i).label).append(*sw);
  switches_[*row(i).key] = sw;
}

void ListPageImpl::addField(size_t i) {
  const pp::PSSpecifier& s = row(i);
  std::string text = fieldText(s, controller_.lock()->readPreferenceValue(s));
  auto* entry = makeEntry(s, text);
  newRow(s.label).append(*entry);
  auto* hint = makeNote(rangeHint(s), "error-hint");
  hint->set_margin_start(8);
  hint->set_visible(false);
  currentList().append(*hint);
  fields_[*s.key] = Field{entry, hint, text};
  entry->signal_activate().connect([this, i] { commit(i); });
  auto focus = Gtk::EventControllerFocus::create();
  focus->signal_leave().connect([this, i] { commit(i); });
  entry->add_controller(focus);
}

Gtk::Entry* ListPageImpl::makeEntry(const pp::PSSpecifier& s, const std::string& text) {
  auto* entry = Gtk::make_managed<Gtk::Entry>();
  entry->set_text(text);
  entry->set_width_chars(6);
  entry->set_max_width_chars(8);
  if (s.keyboard == pp::KeyboardType::Numbers) {
    entry->set_input_purpose(Gtk::InputPurpose::NUMBER);
    entry->set_alignment(1.0);
  }
  return entry;
}

// Marks the field when its text is refused and clears the mark when it is
// acceptable, also when it is the value stored already (a good value typed
// back over a refused one); stores the value only when it changed.
void ListPageImpl::commit(size_t i) {
  const pp::PSSpecifier& s = row(i);
  Field& f = fields_.at(*s.key);
  std::string text = f.entry->get_text();
  std::optional<Value> value = fieldValue(s, text);
  if (value) {
    f.entry->remove_css_class(kRefusedFieldClass);
  } else {
    f.entry->add_css_class(kRefusedFieldClass);
  }
  f.hint->set_visible(!value);
  auto controller = controller_.lock();
  if (!value || text == f.committed || !controller) return;
  if (controller->setPreferenceValue(*value, s)) f.committed = text;
}

void ListPageImpl::addButton(size_t i) {
  const pp::PSSpecifier& s = row(i);
  bool link = s.cell == pp::CellType::Link;
  auto* button = Gtk::make_managed<Gtk::Button>();
  auto* content = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
  auto* text = Gtk::make_managed<Gtk::Label>(s.label);
  text->set_xalign(0);
  text->set_hexpand(true);
  content->append(*text);
  if (link) content->append(*Gtk::make_managed<Gtk::Label>("›"));
  button->set_child(*content);
  button->set_has_frame(false);
  currentList().append(*button);
  button->signal_clicked().connect([this, i] { onButton(i); });
  buttons_[link ? *s.detail : *s.action] = button;
}

void ListPageImpl::onButton(size_t i) {
  auto controller = controller_.lock();
  if (!controller) return;
  const pp::PSSpecifier& s = row(i);
  if (s.cell == pp::CellType::Link) return pushDetail(s, *controller);
  if (s.target) s.target->performSelector(*s.action);
}

void ListPageImpl::pushDetail(const pp::PSSpecifier& s, pp::PSListController& controller) {
  auto page = pp::createViewController(*s.detail);
  if (!page) {
    platform::foundation::NSLog("Preferences: no controller class {} for the row \"{}\"", *s.detail,
                                s.label);
    return;
  }
  if (page->navigationItem().title().empty()) page->navigationItem().setTitle(s.label);
  controller.pushController(page, true);
}

}  // namespace

std::unique_ptr<ListPage> makeListPage(const std::shared_ptr<pp::PSListController>& controller) {
  return std::make_unique<ListPageImpl>(controller);
}

}  // namespace hosts::settings
