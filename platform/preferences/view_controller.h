// View controllers (UIViewController): one page of the Settings app, and the
// class objects through which the app creates controllers by class name.
//
// A controller's view is made on first use: loadView() makes a plain view with
// the default page frame, then viewDidLoad() lets the controller build its
// content. A controller shown by the app is owned by the page stack that holds
// it (page_stack.h); nothing else keeps it alive.
//
// Used from the main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/preferences/ui_view.h"
#include "platform/runtime/class_registry.h"

namespace platform::preferences {

class PageStack;

// UINavigationItem: what the navigation bar shows for a page.
class UINavigationItem {
 public:
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }

 private:
  std::string title_;
};

class UIViewController : public std::enable_shared_from_this<UIViewController> {
 public:
  UIViewController() = default;
  virtual ~UIViewController() = default;
  UIViewController(const UIViewController&) = delete;
  UIViewController& operator=(const UIViewController&) = delete;

  virtual std::string className() const { return "UIViewController"; }

  UINavigationItem& navigationItem() { return navigationItem_; }

  // The controller's view, loaded on first use.
  UIView& view();
  std::shared_ptr<UIView> viewObject();
  bool isViewLoaded() const { return view_ != nullptr; }

  // Makes the view; the base makes a plain view with defaultPageFrame().
  virtual void loadView();
  // Called once, right after loadView(); subclasses call the base first.
  virtual void viewDidLoad() {}

  // The page stack holding this controller; nullptr while it is on none.
  PageStack* pageStack() const { return pageStack_; }

 protected:
  void setView(std::shared_ptr<UIView> view) { view_ = std::move(view); }

 private:
  friend class PageStack;
  UINavigationItem navigationItem_;
  std::shared_ptr<UIView> view_;
  PageStack* pageStack_ = nullptr;
};

// The frame a page's view gets: the device's screen below the status and
// navigation bars. The Settings app sets it from the device; 375 x 603 until then.
CGRect defaultPageFrame();
void setDefaultPageFrame(CGRect frame);

// The class object of a controller class: found by name in the class registry,
// it creates new instances ("alloc" and "init").
class ViewControllerClass : public runtime::Class {
 public:
  // Out of line, so that one type identity serves the app and every plug-in.
  ~ViewControllerClass() override;
  virtual std::shared_ptr<UIViewController> create() const = 0;
};

// A ViewControllerClass for the default-constructible controller type T.
template <class T>
class ViewControllerClassOf final : public ViewControllerClass {
 public:
  explicit ViewControllerClassOf(std::string name) : name_(std::move(name)) {}
  std::string name() const override { return name_; }
  std::shared_ptr<UIViewController> create() const override { return std::make_shared<T>(); }

 private:
  std::string name_;
};

template <class T>
void registerViewControllerClass(std::string name) {
  runtime::registerClass(std::make_shared<ViewControllerClassOf<T>>(std::move(name)));
}

// A new controller of the class registered under `name`; nullptr when no such
// class is registered or it does not make controllers.
std::shared_ptr<UIViewController> createViewController(std::string_view className);

}  // namespace platform::preferences
