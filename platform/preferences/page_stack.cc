#include "platform/preferences/page_stack.h"

namespace platform::preferences {

PageStack::~PageStack() {
  changed_ = nullptr;
  popAll();
}

void PageStack::push(std::shared_ptr<UIViewController> controller, bool animated) {
  if (!controller || controller->pageStack_) return;
  controller->pageStack_ = this;
  pages_.push_back(std::move(controller));
  lastAnimated_ = animated;
  if (changed_) changed_();
}

void PageStack::pop(bool animated) {
  if (pages_.empty()) return;
  // The page leaves the stack before it may be destroyed, so its destructor sees
  // a consistent stack.
  std::shared_ptr<UIViewController> page = std::move(pages_.back());
  pages_.pop_back();
  page->pageStack_ = nullptr;
  lastAnimated_ = animated;
  page.reset();
  if (changed_) changed_();
}

void PageStack::popAll() {
  while (!pages_.empty()) pop(false);
}

}  // namespace platform::preferences
