// Every GTK and WebKit call of the Settings app lives in this file, so that the
// heavy headers are compiled once.
#include "hosts/settings/settings_app.h"

#include <glib-unix.h>
#include <gtkmm.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <functional>
#include <map>
#include <vector>

#include "hosts/settings/pane_catalog.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/notify/notify_center.h"
#include "platform/preferences/list_controller.h"
#include "platform/preferences/page_stack.h"
#include "platform/preferences/services.h"
#include "platform/preferences/web_view.h"
#include "platform/runtime/host.h"
#include "platform/runtime/host_requests.h"

namespace hosts::settings {

namespace {

namespace fs = std::filesystem;
namespace pp = platform::preferences;
using platform::Error;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::NSLog;
using platform::foundation::Value;

// ---------------------------------------------------------------------------
// Web views: one WebKitWebView per UIWebView.

class WebKitBackend final : public pp::WebViewBackend {
 public:
  WebKitBackend(pp::UIWebView& owner, WebKitNetworkSession* session) : owner_(owner) {
    widget_ = GTK_WIDGET(
        g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, nullptr)));
    g_signal_connect(widget_, "load-changed", G_CALLBACK(&WebKitBackend::onLoadChanged), this);
    g_signal_connect(widget_, "load-failed", G_CALLBACK(&WebKitBackend::onLoadFailed), this);
    g_signal_connect(widget_, "web-process-terminated", G_CALLBACK(&WebKitBackend::onTerminated),
                     this);
  }

  ~WebKitBackend() override {
    // Disconnected first: stopping a load reports a cancelled load, which must
    // not reach a web view that is being destroyed.
    g_signal_handlers_disconnect_by_data(widget_, this);
    webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(widget_));
    g_object_unref(widget_);
  }

  void loadRequest(const pp::NSURLRequest& request) override {
    pp::UIColor c = owner_.backgroundColor();
    GdkRGBA rgba{float(c.red), float(c.green), float(c.blue), float(c.alpha)};
    webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(widget_), &rgba);
    failed_ = false;
    std::string uri = request.URL ? request.URL->absoluteString() : "about:blank";
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget_), uri.c_str());
  }

  GtkWidget* widget() const { return widget_; }

 private:
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    auto* b = static_cast<WebKitBackend*>(self);
    if (event == WEBKIT_LOAD_STARTED) b->failed_ = false;
    // A failed load ends with FINISHED too; its failure has been reported.
    if (event == WEBKIT_LOAD_FINISHED && !b->failed_) b->owner_.didFinishLoad();
  }

  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                               gpointer self) {
    auto* b = static_cast<WebKitBackend*>(self);
    b->failed_ = true;
    b->owner_.didFailLoad(
        pp::NSError{g_quark_to_string(error->domain), error->code, error->message});
    return TRUE;  // handled: WebKit puts up no error page of its own
  }

  static void onTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    auto* b = static_cast<WebKitBackend*>(self);
    b->failed_ = true;
    b->owner_.didFailLoad(pp::NSError{"WebKitWebProcess", 1, "the web process ended"});
  }

  pp::UIWebView& owner_;
  GtkWidget* widget_ = nullptr;
  bool failed_ = false;
};

class WebKitEngine final : public pp::WebEngine {
 public:
  // Ephemeral: the device keeps no browser cache or cookies in the user's home.
  WebKitEngine() : session_(webkit_network_session_new_ephemeral()) {}
  ~WebKitEngine() override { g_object_unref(session_); }
  std::unique_ptr<pp::WebViewBackend> makeBackend(pp::UIWebView& owner) override {
    return std::make_unique<WebKitBackend>(owner, session_);
  }

 private:
  WebKitNetworkSession* session_;
};

// ---------------------------------------------------------------------------
// Pages.

// What every page widget answers to the window and to test requests.
class PageWidget {
 public:
  virtual ~PageWidget() = default;
  virtual Gtk::Widget& widget() = 0;
  virtual void describe(Dictionary& state) const { (void)state; }
};

Gtk::Label* makeLabel(const std::string& text, const char* cssClass = nullptr) {
  auto* label = Gtk::make_managed<Gtk::Label>(text);
  label->set_xalign(0);
  label->set_wrap(true);
  if (cssClass) label->add_css_class(cssClass);
  return label;
}

// A list controller's rows.
class ListPage final : public PageWidget {
 public:
  explicit ListPage(const std::shared_ptr<pp::PSListController>& controller)
      : controller_(controller) {
    scroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    box_.set_orientation(Gtk::Orientation::VERTICAL);
    box_.set_spacing(6);
    box_.set_margin(12);
    scroller_.set_child(box_);
    specifiers_ = controller->specifiers();
    if (!specifiers_) {
      std::string failure = controller->lastLoadFailure();
      box_.append(
          *makeLabel("The settings of this pane could not be loaded: " + failure, "warning-note"));
      return;
    }
    for (size_t i = 0; i < specifiers_->items.size(); ++i) addRow(i);
    closeGroup();
    if (!specifiers_->skipped.empty()) {
      std::string text = "Left out of this page:";
      for (auto& line : specifiers_->skipped) text += "\n• " + line;
      box_.append(*makeLabel(text, "warning-note"));
    }
  }

  Gtk::Widget& widget() override { return scroller_; }

  void describe(Dictionary& state) const override {
    Array skipped;
    if (specifiers_) {
      for (auto& line : specifiers_->skipped) skipped.emplace_back(line);
    }
    state["skipped"] = Value(std::move(skipped));
    Dictionary shown;
    for (auto& [key, sw] : switches_) shown[key] = Value(sw->get_active());
    for (auto& [key, field] : fields_) shown[key] = Value(std::string(field.entry->get_text()));
    state["rows"] = Value(std::move(shown));
  }

  // Test hooks: each works through the widget, as a user's click or typing does.
  bool toggle(const std::string& key) {
    auto it = switches_.find(key);
    if (it == switches_.end()) return false;
    it->second->set_active(!it->second->get_active());
    return true;
  }
  std::optional<bool> type(const std::string& key, const std::string& text) {
    auto it = fields_.find(key);
    if (it == fields_.end()) return std::nullopt;
    it->second.entry->set_text(text);
    // What pressing Enter in the field does.
    g_signal_emit_by_name(it->second.entry->gobj(), "activate");
    return !it->second.entry->has_css_class("error");
  }
  bool tap(const std::string& action) {
    auto it = buttons_.find(action);
    if (it == buttons_.end()) return false;
    // What a click does, without the pressed look that delays the signal.
    g_signal_emit_by_name(it->second->gobj(), "clicked");
    return true;
  }
  std::optional<bool> switchValue(const std::string& key) const {
    auto it = switches_.find(key);
    if (it == switches_.end()) return std::nullopt;
    return it->second->get_active();
  }

 private:
  struct Field {
    Gtk::Entry* entry;
    Gtk::Label* hint;
    std::string committed;
  };

  const pp::PSSpecifier& row(size_t i) const { return specifiers_->items[i]; }

  void openGroup(const std::string& header) {
    closeGroup();
    if (!header.empty()) {
      auto* label = makeLabel(header, "group-header");
      label->set_margin_top(12);
      box_.append(*label);
    }
  }

  void closeGroup() {
    if (list_ && !footer_.empty()) box_.append(*makeLabel(footer_, "dim-label"));
    list_ = nullptr;
    footer_.clear();
  }

  Gtk::ListBox& currentList() {
    if (!list_) {
      auto* frame = Gtk::make_managed<Gtk::Frame>();
      list_ = Gtk::make_managed<Gtk::ListBox>();
      list_->set_selection_mode(Gtk::SelectionMode::NONE);
      frame->set_child(*list_);
      box_.append(*frame);
    }
    return *list_;
  }

  Gtk::Box& newRow(const std::string& label) {
    auto* line = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    line->set_margin(8);
    auto* text = Gtk::make_managed<Gtk::Label>(label);
    text->set_xalign(0);
    text->set_hexpand(true);
    line->append(*text);
    currentList().append(*line);
    return *line;
  }

  void addRow(size_t i) {
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

  void addSwitch(size_t i) {
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

  void addField(size_t i) {
    auto controller = controller_.lock();
    const pp::PSSpecifier& s = row(i);
    Value shown = controller->readPreferenceValue(s);
    bool numbers = s.keyboard == pp::KeyboardType::Numbers;
    std::string text =
        numbers ? (shown.isNull() ? "" : std::to_string(shown.longLongValue().value_or(0)))
                : (shown.asString() ? *shown.asString() : shown.description());
    if (shown.isNull()) text.clear();
    auto* entry = Gtk::make_managed<Gtk::Entry>();
    entry->set_text(text);
    entry->set_width_chars(6);
    entry->set_max_width_chars(8);
    if (numbers) {
      entry->set_input_purpose(Gtk::InputPurpose::NUMBER);
      entry->set_alignment(1.0);
    }
    newRow(s.label).append(*entry);
    auto* hint = makeLabel(rangeHint(s), "error-hint");
    hint->set_margin_start(8);
    hint->set_visible(false);
    currentList().append(*hint);
    fields_[*s.key] = Field{entry, hint, text};
    entry->signal_activate().connect([this, i] { commit(i); });
    auto focus = Gtk::EventControllerFocus::create();
    focus->signal_leave().connect([this, i] { commit(i); });
    entry->add_controller(focus);
  }

  static std::string rangeHint(const pp::PSSpecifier& s) {
    if (s.keyboard != pp::KeyboardType::Numbers) return "";
    if (s.minimum && s.maximum)
      return fmt::format("Enter a whole number from {} to {}.", *s.minimum, *s.maximum);
    return "Enter a whole number.";
  }

  // Stores the field's text when it changed and is acceptable; otherwise marks
  // the field and leaves the stored value alone.
  void commit(size_t i) {
    const pp::PSSpecifier& s = row(i);
    Field& f = fields_.at(*s.key);
    std::string text = f.entry->get_text();
    if (text == f.committed) return;
    std::optional<Value> value;
    if (s.keyboard == pp::KeyboardType::Numbers) {
      if (auto n = pp::parseWholeNumber(text, s.minimum, s.maximum)) value = Value(*n);
    } else {
      value = Value(text);
    }
    f.entry->set_css_classes(value ? std::vector<Glib::ustring>{}
                                   : std::vector<Glib::ustring>{"error"});
    f.hint->set_visible(!value);
    auto controller = controller_.lock();
    if (!value || !controller) return;
    if (controller->setPreferenceValue(*value, s)) f.committed = text;
  }

  void addButton(size_t i) {
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

  void onButton(size_t i) {
    auto controller = controller_.lock();
    if (!controller) return;
    const pp::PSSpecifier& s = row(i);
    if (s.cell == pp::CellType::Button) {
      if (s.target) s.target->performSelector(*s.action);
      return;
    }
    auto page = pp::createViewController(*s.detail);
    if (!page) {
      NSLog("Preferences: no controller class {} for the row \"{}\"", *s.detail, s.label);
      return;
    }
    if (page->navigationItem().title().empty()) page->navigationItem().setTitle(s.label);
    controller->pushController(page, true);
  }

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

// Any other controller's view: its web views and labels at their frames.
class ViewPage final : public PageWidget {
 public:
  explicit ViewPage(const std::shared_ptr<pp::UIViewController>& controller) {
    std::shared_ptr<pp::UIView> view = controller->viewObject();
    view_ = view;
    pp::CGRect f = view->frame();
    fixed_.set_size_request(int(f.size.width), int(f.size.height));
    view->setChangeHandler([this] { sync(); });
    sync();
  }

  ~ViewPage() override {
    if (auto view = view_.lock()) view->setChangeHandler(nullptr);
  }

  Gtk::Widget& widget() override { return fixed_; }

  void describe(Dictionary& state) const override {
    bool label = false;
    if (auto view = view_.lock()) {
      for (auto& v : view->subviews()) label |= dynamic_cast<pp::UILabel*>(v.get()) != nullptr;
    }
    state["labelShown"] = Value(label);
  }

 private:
  // Shows the subviews that are new and takes away those that are gone.
  void sync() {
    auto view = view_.lock();
    std::map<const pp::UIView*, GtkWidget*> still;
    if (view) {
      for (auto& sub : view->subviews()) {
        auto it = shown_.find(sub.get());
        if (it != shown_.end()) {
          still.insert(*it);
          shown_.erase(it);
        } else if (GtkWidget* w = widgetFor(*sub)) {
          pp::CGRect f = sub->frame();
          gtk_widget_set_size_request(w, int(f.size.width), int(f.size.height));
          gtk_fixed_put(fixed_.gobj(), w, f.origin.x, f.origin.y);
          still[sub.get()] = w;
        }
      }
    }
    for (auto& [v, w] : shown_) gtk_fixed_remove(fixed_.gobj(), w);
    shown_ = std::move(still);
  }

  static GtkWidget* widgetFor(pp::UIView& view) {
    if (auto* web = dynamic_cast<pp::UIWebView*>(&view)) {
      auto* backend = dynamic_cast<WebKitBackend*>(web->backend());
      return backend ? backend->widget() : nullptr;
    }
    if (auto* label = dynamic_cast<pp::UILabel*>(&view)) {
      GtkWidget* w = gtk_label_new(label->text().c_str());
      float x = label->textAlignment() == pp::NSTextAlignment::Center  ? 0.5f
                : label->textAlignment() == pp::NSTextAlignment::Right ? 1.0f
                                                                       : 0.0f;
      gtk_label_set_xalign(GTK_LABEL(w), x);
      return w;
    }
    return nullptr;
  }

  std::weak_ptr<pp::UIView> view_;
  Gtk::Fixed fixed_;
  std::map<const pp::UIView*, GtkWidget*> shown_;
};

// ---------------------------------------------------------------------------
// Snapshots.

bool savePNG(Gtk::Widget& widget, const fs::path& path) {
  int width = widget.get_width();
  int height = widget.get_height();
  GtkNative* native = gtk_widget_get_native(widget.gobj());
  if (width <= 0 || height <= 0 || !native) return false;
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  GdkPaintable* paintable = gtk_widget_paintable_new(widget.gobj());
  GtkSnapshot* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable, snapshot, width, height);
  GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
  bool written = false;
  if (node) {
    graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
    GdkTexture* texture =
        gsk_renderer_render_texture(gtk_native_get_renderer(native), node, &bounds);
    written = gdk_texture_save_to_png(texture, path.c_str());
    g_object_unref(texture);
    gsk_render_node_unref(node);
  }
  g_object_unref(paintable);
  return written;
}

// ---------------------------------------------------------------------------
// The window.

class SettingsWindow final : public Gtk::ApplicationWindow {
 public:
  SettingsWindow() {
    set_title("Settings");
    back_.set_label("‹ Back");
    back_.signal_clicked().connect([this] { pages_.pop(true); });
    header_.pack_start(back_);
    header_.set_title_widget(title_);
    set_titlebar(header_);
    pp::CGRect page = pp::defaultPageFrame();
    stack_.set_size_request(int(page.size.width), int(page.size.height));
    stack_.set_transition_duration(200);
    stack_.add(rootScroller_, "root");
    set_child(stack_);
    buildRoot();
    pages_.setChangeHandler([this] { onPagesChanged(); });
    onPagesChanged();
  }

  ~SettingsWindow() override {
    pages_.setChangeHandler(nullptr);
    pages_.popAll();
  }

  // Opens the pane named by label or bundle (the first pane for ""); answers the
  // reason when it cannot.
  std::string open(const std::string& name) {
    for (auto& entry : catalog_.panes) {
      if (!name.empty() && entry.label != name && entry.bundle != name) continue;
      OpenedPane pane = openPane(entry);
      if (!pane.controller) {
        std::string why = "cannot open " + entry.label + ": " + pane.error;
        NSLog("Preferences: {}", why);
        rootNote_.set_text(why);
        rootNote_.set_visible(true);
        return why;
      }
      pages_.push(pane.controller, true);
      return "";
    }
    return "no pane named \"" + name + "\"";
  }

  Dictionary state() const {
    Dictionary d;
    d["title"] = Value(std::string(title_.get_text()));
    d["pages"] = Value(static_cast<long long>(pages_.pages().size()));
    d["settled"] = Value(settled());
    if (!shown_.empty()) shown_.back().page->describe(d);
    Array skipped;
    for (auto& line : catalog_.skipped) skipped.emplace_back(line);
    d["skippedPanes"] = Value(std::move(skipped));
    return d;
  }

  ListPage* topListPage() const {
    return shown_.empty() ? nullptr : dynamic_cast<ListPage*>(shown_.back().page.get());
  }
  bool labelShown() const {
    Dictionary d = state();
    const Value* v = platform::foundation::find(d, "labelShown");
    return v && v->asBoolean() && *v->asBoolean();
  }
  bool topIsViewPage() const {
    return !shown_.empty() && dynamic_cast<ViewPage*>(shown_.back().page.get());
  }
  void back() { pages_.pop(true); }
  // No page is sliding in or out.
  bool settled() const { return !stack_.get_transition_running(); }

 private:
  struct Shown {
    pp::UIViewController* controller;
    std::unique_ptr<PageWidget> page;
  };

  void buildRoot() {
    rootScroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    rootBox_.set_orientation(Gtk::Orientation::VERTICAL);
    rootBox_.set_spacing(6);
    rootBox_.set_margin(12);
    rootScroller_.set_child(rootBox_);
    catalog_ = listPanes();
    auto* frame = Gtk::make_managed<Gtk::Frame>();
    auto* list = Gtk::make_managed<Gtk::ListBox>();
    list->set_selection_mode(Gtk::SelectionMode::NONE);
    frame->set_child(*list);
    rootBox_.append(*frame);
    for (auto& entry : catalog_.panes) {
      auto* button = Gtk::make_managed<Gtk::Button>();
      auto* text = Gtk::make_managed<Gtk::Label>(entry.label);
      text->set_xalign(0);
      button->set_child(*text);
      button->set_has_frame(false);
      std::string label = entry.label;
      button->signal_clicked().connect([this, label] { open(label); });
      list->append(*button);
    }
    if (catalog_.panes.empty()) rootBox_.append(*makeLabel("No settings panes are installed."));
    if (!catalog_.skipped.empty()) {
      std::string text = "Left out of this list:";
      for (auto& line : catalog_.skipped) text += "\n• " + line;
      rootBox_.append(*makeLabel(text, "warning-note"));
    }
    rootNote_.set_xalign(0);
    rootNote_.set_wrap(true);
    rootNote_.add_css_class("warning-note");
    rootNote_.set_visible(false);
    rootBox_.append(rootNote_);
  }

  // Brings the widgets in line with the page stack: pages that left it lose
  // their widgets, pages that joined it get theirs, the top one is shown.
  void onPagesChanged() {
    const auto& pages = pages_.pages();
    size_t keep = 0;
    while (keep < shown_.size() && keep < pages.size() &&
           shown_[keep].controller == pages[keep].get())
      ++keep;
    bool pushed = pages.size() > keep;
    // A window that is not on screen yet has no frames to slide in.
    stack_.set_transition_type(!get_mapped() ? Gtk::StackTransitionType::NONE
                               : pushed      ? Gtk::StackTransitionType::SLIDE_LEFT
                                             : Gtk::StackTransitionType::SLIDE_RIGHT);
    std::vector<Shown> leaving;
    while (shown_.size() > keep) {
      leaving.push_back(std::move(shown_.back()));
      shown_.pop_back();
    }
    for (size_t i = keep; i < pages.size(); ++i) shown_.push_back(makePage(pages[i]));
    Gtk::Widget& top =
        shown_.empty() ? static_cast<Gtk::Widget&>(rootScroller_) : shown_.back().page->widget();
    stack_.set_visible_child(top);
    for (auto& gone : leaving) stack_.remove(gone.page->widget());
    back_.set_visible(!shown_.empty());
    title_.set_text(shown_.empty() ? "Settings" : pageTitle(*pages.back()));
  }

  Shown makePage(const std::shared_ptr<pp::UIViewController>& controller) {
    Shown s{controller.get(), nullptr};
    if (auto list = std::dynamic_pointer_cast<pp::PSListController>(controller)) {
      s.page = std::make_unique<ListPage>(list);
    } else {
      s.page = std::make_unique<ViewPage>(controller);
    }
    stack_.add(s.page->widget());
    return s;
  }

  static std::string pageTitle(pp::UIViewController& controller) {
    if (auto* list = dynamic_cast<pp::PSListController*>(&controller)) {
      auto specifiers = list->specifiers();
      if (specifiers && specifiers->title && controller.navigationItem().title().empty())
        return *specifiers->title;
    }
    return controller.navigationItem().title();
  }

  Gtk::HeaderBar header_;
  Gtk::Button back_;
  Gtk::Label title_;
  Gtk::Stack stack_;
  Gtk::ScrolledWindow rootScroller_;
  Gtk::Box rootBox_;
  Gtk::Label rootNote_;
  PaneCatalog catalog_;
  pp::PageStack pages_;
  std::vector<Shown> shown_;
};

constexpr const char* kStyle = R"(
.group-header { font-weight: bold; }
.warning-note { color: #a05a00; }
.error-hint { color: #c01c28; font-size: smaller; }
)";

// The requests that drive a running app, for tests and scripts.
std::map<std::string, platform::runtime::HostRequestHandler> requestHandlers(
    SettingsWindow& window) {
  auto text = [](const Dictionary& request, const char* key) {
    const Value* v = platform::foundation::find(request, key);
    if (!v || !v->asString()) throw Error(std::string("the request needs a \"") + key + "\"");
    return *v->asString();
  };
  auto list = [&window]() -> ListPage& {
    ListPage* page = window.topListPage();
    if (!page) throw Error("the page shown is not a settings list");
    return *page;
  };
  std::map<std::string, platform::runtime::HostRequestHandler> h;
  h["state"] = [&window](const Dictionary&) { return window.state(); };
  h["open"] = [&window, text](const Dictionary& r) {
    std::string why = window.open(text(r, "pane"));
    if (!why.empty()) throw Error(why);
    return window.state();
  };
  h["toggle"] = [list, text](const Dictionary& r) {
    std::string key = text(r, "key");
    if (!list().toggle(key)) throw Error("no switch for " + key);
    return Dictionary{{"value", Value(*list().switchValue(key))}};
  };
  h["type"] = [list, text](const Dictionary& r) {
    std::string key = text(r, "key");
    auto accepted = list().type(key, text(r, "text"));
    if (!accepted) throw Error("no text field for " + key);
    return Dictionary{{"accepted", Value(*accepted)}};
  };
  h["tap"] = [list, text](const Dictionary& r) {
    std::string action = text(r, "action");
    if (!list().tap(action)) throw Error("no button for " + action);
    return Dictionary{};
  };
  h["back"] = [&window](const Dictionary&) {
    window.back();
    return window.state();
  };
  h["snapshot"] = [&window, text](const Dictionary& r) {
    return Dictionary{{"written", Value(savePNG(window, text(r, "path")))}};
  };
  return h;
}

// The screenshot run, one step per turn of the main loop.
class ScreenshotRun {
 public:
  ScreenshotRun(SettingsWindow& window, AppOptions options, Glib::RefPtr<Gtk::Application> app)
      : window_(window), options_(std::move(options)), app_(std::move(app)) {}

  void start() {
    if (std::string why = window_.open(options_.open); !why.empty()) return finish(why);
    waitUntilSettled([this] { paneShown(); });
  }
  int exitCode() const { return exitCode_; }

 private:
  void paneShown() {
    if (!save("settings-pane.png")) return;
    ListPage* page = window_.topListPage();
    if (!page || !page->tap("viewOtherApps")) return finish("the pane has no viewOtherApps row");
    poll();
  }

  void poll() {
    if (window_.topIsViewPage() && !window_.labelShown()) {
      waitUntilSettled([this] {
        if (save("other-apps.png")) finish("");
      });
      return;
    }
    if (++polls_ > 600) return finish("the other-apps page never finished loading");
    after(100, [this] { poll(); });
  }

  bool save(const char* name) {
    fs::path path = options_.screenshots / name;
    if (!savePNG(window_, path)) {
      finish("cannot save " + path.string());
      return false;
    }
    NSLog("Preferences: saved {}", path.string());
    return true;
  }

  // Runs `step` once no page is moving and a few more frames have been drawn.
  void waitUntilSettled(std::function<void()> step) {
    if (!window_.settled() || !window_.get_mapped()) {
      after(50, [this, step] { waitUntilSettled(step); });
      return;
    }
    after(300, step);
  }

  void after(unsigned ms, std::function<void()> step) {
    Glib::signal_timeout().connect_once(std::move(step), ms);
  }

  void finish(const std::string& failure) {
    if (!failure.empty()) {
      NSLog("Preferences: screenshot run failed: {}", failure);
      exitCode_ = 1;
    } else {
      exitCode_ = 0;
    }
    app_->quit();
  }

  SettingsWindow& window_;
  AppOptions options_;
  Glib::RefPtr<Gtk::Application> app_;
  int polls_ = 0;
  int exitCode_ = 1;
};

gboolean quitOnSignal(gpointer app) {
  static_cast<Gtk::Application*>(app)->quit();
  return G_SOURCE_CONTINUE;
}

fs::path pidFile() {
  return platform::foundation::hostPath(std::string(platform::runtime::kRunFolderDevicePath) + "/" +
                                        kProcessName + ".pid");
}

}  // namespace

int runSettingsApp(const AppOptions& options,
                   const std::shared_ptr<platform::notify::NotifyCenter>& center) {
  auto settings = platform::foundation::loadDeviceSettings();
  // The page area: the screen below the status and navigation bars (64 points).
  pp::setDefaultPageFrame(pp::CGRectMake(0, 0, settings.screenWidth, settings.screenHeight - 64));
  pp::services().webEngine = std::make_shared<WebKitEngine>();

  auto app =
      Gtk::Application::create("org.pxviber.Preferences", Gio::Application::Flags::NON_UNIQUE);
  std::unique_ptr<SettingsWindow> window;
  std::unique_ptr<ScreenshotRun> screenshots;
  int exitCode = 0;
  app->signal_activate().connect([&] {
    auto css = Gtk::CssProvider::create();
    css->load_from_data(kStyle);
    Gtk::StyleContext::add_provider_for_display(Gdk::Display::get_default(), css,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    window = std::make_unique<SettingsWindow>();
    app->add_window(*window);
    window->present();
    if (center)
      platform::runtime::serveHostRequests(*center, kProcessName, requestHandlers(*window));
    std::string pid = std::to_string(::getpid()) + "\n";
    platform::foundation::writeFileAtomically(
        pidFile(), std::span(reinterpret_cast<const std::uint8_t*>(pid.data()), pid.size()));
    if (!options.screenshots.empty()) {
      screenshots = std::make_unique<ScreenshotRun>(*window, options, app);
      screenshots->start();
    } else if (!options.open.empty()) {
      if (std::string why = window->open(options.open); !why.empty()) NSLog("Preferences: {}", why);
    }
  });
  g_unix_signal_add(SIGTERM, quitOnSignal, app.get());
  g_unix_signal_add(SIGINT, quitOnSignal, app.get());
  // GTK's own options are not ours: the app gets no command line.
  char name[] = "settings";
  char* argv[] = {name, nullptr};
  int status = app->run(1, argv);
  if (screenshots) exitCode = screenshots->exitCode();
  std::error_code ec;
  fs::remove(pidFile(), ec);
  window.reset();
  pp::resetServices();
  return status != 0 ? status : exitCode;
}

}  // namespace hosts::settings
