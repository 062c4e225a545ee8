#include "hosts/settings/view_page.h"

#include <gtkmm.h>

#include <map>

#include "hosts/settings/web_kit_engine.h"
#include "platform/preferences/web_view.h"

namespace hosts::settings {

namespace {

namespace pp = platform::preferences;
using platform::foundation::Dictionary;
using platform::foundation::Value;

float labelAlignment(pp::NSTextAlignment alignment) {
  switch (alignment) {
    case pp::NSTextAlignment::Center:
      return 0.5f;
    case pp::NSTextAlignment::Right:
      return 1.0f;
    default:
      return 0.0f;
  }
}

// The widget that shows a subview; null for a kind of view the app cannot show.
GtkWidget* widgetFor(pp::UIView& view) {
  if (auto* web = dynamic_cast<pp::UIWebView*>(&view)) return webKitWidget(*web);
  if (auto* label = dynamic_cast<pp::UILabel*>(&view)) {
    GtkWidget* w = gtk_label_new(label->text().c_str());
    gtk_label_set_xalign(GTK_LABEL(w), labelAlignment(label->textAlignment()));
    return w;
  }
  return nullptr;
}

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
    std::map<const pp::UIView*, GtkWidget*> still;
    if (auto view = view_.lock()) {
      for (auto& sub : view->subviews()) keep(*sub, still);
    }
    for (auto& [v, w] : shown_) gtk_fixed_remove(fixed_.gobj(), w);
    shown_ = std::move(still);
  }

  // Moves the widget of `sub` from shown_ into `still`, making it when new.
  void keep(pp::UIView& sub, std::map<const pp::UIView*, GtkWidget*>& still) {
    auto it = shown_.find(&sub);
    if (it != shown_.end()) {
      still.insert(*it);
      shown_.erase(it);
      return;
    }
    GtkWidget* w = widgetFor(sub);
    if (!w) return;
    pp::CGRect f = sub.frame();
    gtk_widget_set_size_request(w, int(f.size.width), int(f.size.height));
    gtk_fixed_put(fixed_.gobj(), w, f.origin.x, f.origin.y);
    still[&sub] = w;
  }

  std::weak_ptr<pp::UIView> view_;
  Gtk::Fixed fixed_;
  std::map<const pp::UIView*, GtkWidget*> shown_;
};

}  // namespace

std::unique_ptr<PageWidget> makeViewPage(const std::shared_ptr<pp::UIViewController>& controller) {
  return std::make_unique<ViewPage>(controller);
}

}  // namespace hosts::settings
