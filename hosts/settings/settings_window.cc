#include "hosts/settings/settings_window.h"

#include <gtkmm.h>

#include <vector>

#include "hosts/settings/list_page.h"
#include "hosts/settings/pane_catalog.h"
#include "hosts/settings/view_page.h"
#include "platform/foundation/log.h"
#include "platform/preferences/page_stack.h"

namespace hosts::settings {

namespace {

namespace pp = platform::preferences;
using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;

// The navigation title of a page: its own, else its specifier list's.
std::string pageTitle(pp::UIViewController& controller) {
  if (auto* list = dynamic_cast<pp::PSListController*>(&controller)) {
    auto specifiers = list->specifiers();
    if (specifiers && specifiers->title && controller.navigationItem().title().empty())
      return *specifiers->title;
  }
  return controller.navigationItem().title();
}

class WindowImpl final : public SettingsWindow {
 public:
  WindowImpl();
  ~WindowImpl() override;

  Gtk::Window& window() override { return window_; }
  std::string open(const std::string& name) override;
  void back() override { pages_.pop(true); }
  Dictionary state() const override;
  ListPage* topListPage() const override {
    return shown_.empty() ? nullptr : dynamic_cast<ListPage*>(shown_.back().page.get());
  }

 private:
  struct Shown {
    pp::UIViewController* controller;
    std::unique_ptr<PageWidget> page;
  };

  std::string openEntry(const PaneEntry& entry);
  void buildRoot();
  void addPaneButtons();
  void onPagesChanged();
  size_t pagesKept() const;
  void slideTo(bool pushed);
  Shown makePage(const std::shared_ptr<pp::UIViewController>& controller);

  // Declared first, destroyed last: the widgets below leave it before it goes.
  Gtk::ApplicationWindow window_;
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

WindowImpl::WindowImpl() {
  window_.set_title("Settings");
  back_.set_label("‹ Back");
  back_.signal_clicked().connect([this] { pages_.pop(true); });
  header_.pack_start(back_);
  header_.set_title_widget(title_);
  window_.set_titlebar(header_);
  pp::CGRect page = pp::defaultPageFrame();
  stack_.set_size_request(int(page.size.width), int(page.size.height));
  stack_.set_transition_duration(200);
  stack_.add(rootScroller_, "root");
  window_.set_child(stack_);
  buildRoot();
  pages_.setChangeHandler([this] { onPagesChanged(); });
  onPagesChanged();
}

WindowImpl::~WindowImpl() {
  pages_.setChangeHandler(nullptr);
  pages_.popAll();
}

std::string WindowImpl::open(const std::string& name) {
  for (auto& entry : catalog_.panes) {
    if (name.empty() || entry.label == name || entry.bundle == name) return openEntry(entry);
  }
  return "no pane named \"" + name + "\"";
}

std::string WindowImpl::openEntry(const PaneEntry& entry) {
  OpenedPane pane = openPane(entry);
  if (pane.controller) {
    pages_.push(pane.controller, true);
    return "";
  }
  std::string why = "cannot open " + entry.label + ": " + pane.error;
  platform::foundation::NSLog("Preferences: {}", why);
  rootNote_.set_text(why);
  rootNote_.set_visible(true);
  return why;
}

Dictionary WindowImpl::state() const {
  Dictionary d;
  d["title"] = Value(std::string(title_.get_text()));
  d["pages"] = Value(static_cast<long long>(pages_.pages().size()));
  d["settled"] = Value(window_.get_mapped() && !stack_.get_transition_running());
  if (!shown_.empty()) shown_.back().page->describe(d);
  Array skipped;
  for (auto& line : catalog_.skipped) skipped.emplace_back(line);
  d["skippedPanes"] = Value(std::move(skipped));
  return d;
}

void WindowImpl::buildRoot() {
  rootScroller_.set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
  rootBox_.set_orientation(Gtk::Orientation::VERTICAL);
  rootBox_.set_spacing(6);
  rootBox_.set_margin(12);
  rootScroller_.set_child(rootBox_);
  catalog_ = listPanes();
  addPaneButtons();
  if (catalog_.panes.empty()) rootBox_.append(*makeNote("No settings panes are installed."));
  if (!catalog_.skipped.empty())
    rootBox_.append(
        *makeNote(bulletList("Left out of this list:", catalog_.skipped), "warning-note"));
  rootNote_.set_xalign(0);
  rootNote_.set_wrap(true);
  rootNote_.add_css_class("warning-note");
  rootNote_.set_visible(false);
  rootBox_.append(rootNote_);
}

// One button per pane of the catalogue.
void WindowImpl::addPaneButtons() {
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
}

// Brings the widgets in line with the page stack: pages that left it lose
// their widgets, pages that joined it get theirs, the top one is shown.
void WindowImpl::onPagesChanged() {
  const auto& pages = pages_.pages();
  size_t keep = pagesKept();
  slideTo(pages.size() > keep);
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

// How many of the shown pages are still the bottom of the stack.
size_t WindowImpl::pagesKept() const {
  const auto& pages = pages_.pages();
  size_t keep = 0;
  while (keep < shown_.size() && keep < pages.size() &&
         shown_[keep].controller == pages[keep].get())
    ++keep;
  return keep;
}

void WindowImpl::slideTo(bool pushed) {
  // A window that is not on screen yet has no frames to slide in.
  stack_.set_transition_type(!window_.get_mapped() ? Gtk::StackTransitionType::NONE
                             : pushed              ? Gtk::StackTransitionType::SLIDE_LEFT
                                                   : Gtk::StackTransitionType::SLIDE_RIGHT);
}

WindowImpl::Shown WindowImpl::makePage(const std::shared_ptr<pp::UIViewController>& controller) {
  Shown s{controller.get(), nullptr};
  if (auto list = std::dynamic_pointer_cast<pp::PSListController>(controller)) {
    s.page = makeListPage(list);
  } else {
    s.page = makeViewPage(controller);
  }
  stack_.add(s.page->widget());
  return s;
}

}  // namespace

std::unique_ptr<SettingsWindow> makeSettingsWindow() { return std::make_unique<WindowImpl>(); }

}  // namespace hosts::settings
