// The page stack of the Settings app (its navigation controller): the pages
// shown one above the other, the top one visible, with a way back.
//
// The stack owns its pages: a pushed controller lives until it is popped (or the
// stack is destroyed), unless someone else keeps it too. The app watches the
// stack through its change handler to show the top page. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/preferences/view_controller.h"

namespace platform::preferences {

class PageStack {
 public:
  PageStack() = default;
  ~PageStack();
  PageStack(const PageStack&) = delete;
  PageStack& operator=(const PageStack&) = delete;

  // Puts `controller` on top. A controller already on a stack is not pushed again.
  void push(std::shared_ptr<UIViewController> controller, bool animated);
  // Takes the top page off and drops the stack's reference to it; no effect on
  // an empty stack.
  void pop(bool animated);
  // Pops every page.
  void popAll();

  const std::vector<std::shared_ptr<UIViewController>>& pages() const { return pages_; }
  UIViewController* top() const { return pages_.empty() ? nullptr : pages_.back().get(); }
  // Whether the last push or pop asked for animation.
  bool lastAnimated() const { return lastAnimated_; }

  // Called after every push and pop.
  void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

 private:
  std::vector<std::shared_ptr<UIViewController>> pages_;
  std::function<void()> changed_;
  bool lastAnimated_ = false;
};

}  // namespace platform::preferences
