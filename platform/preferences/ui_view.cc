#include "platform/preferences/ui_view.h"

#include <algorithm>

namespace platform::preferences {

namespace {

// One axis of the platform's autoresizing: the superview grew by `delta`; the
// flexible parts among the leading margin, the size and the trailing margin share
// it in proportion to their current lengths (equally when those are all zero).
void resizeAxis(CGFloat& origin, CGFloat& length, CGFloat oldParent, CGFloat delta, bool flexLead,
                bool flexSize, bool flexTrail) {
  if (delta == 0 || !(flexLead || flexSize || flexTrail)) return;
  CGFloat trail = oldParent - origin - length;
  CGFloat parts[3] = {flexLead ? origin : 0, flexSize ? length : 0, flexTrail ? trail : 0};
  CGFloat total = parts[0] + parts[1] + parts[2];
  int flexible = int(flexLead) + int(flexSize) + int(flexTrail);
  auto share = [&](int i, bool flex) {
    if (!flex) return CGFloat(0);
    return total > 0 ? delta * parts[i] / total : delta / flexible;
  };
  origin += share(0, flexLead);
  length += share(1, flexSize);
}

}  // namespace

UIView::~UIView() {
  // Subviews that someone else keeps alive must not point at this view any more.
  for (auto& v : subviews_) v->superview_ = nullptr;
}

void UIView::setFrame(CGRect frame) {
  CGSize old = frame_.size;
  frame_ = frame;
  if (old.width != frame.size.width || old.height != frame.size.height) resizeSubviews(old);
  notifyChanged();
}

void UIView::resizeSubviews(CGSize oldSize) {
  CGFloat dw = frame_.size.width - oldSize.width;
  CGFloat dh = frame_.size.height - oldSize.height;
  for (auto& v : subviews_) {
    unsigned m = v->autoresizingMask_;
    CGRect f = v->frame_;
    resizeAxis(f.origin.x, f.size.width, oldSize.width, dw,
               m & UIViewAutoresizingFlexibleLeftMargin, m & UIViewAutoresizingFlexibleWidth,
               m & UIViewAutoresizingFlexibleRightMargin);
    resizeAxis(f.origin.y, f.size.height, oldSize.height, dh,
               m & UIViewAutoresizingFlexibleTopMargin, m & UIViewAutoresizingFlexibleHeight,
               m & UIViewAutoresizingFlexibleBottomMargin);
    v->setFrame(f);
  }
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
  if (!view) return;
  for (UIView* p = this; p; p = p->superview_) {
    if (p == view.get()) return;
  }
  view->removeFromSuperview();
  view->superview_ = this;
  subviews_.push_back(view);
  notifyChanged();
}

void UIView::removeFromSuperview() {
  UIView* parent = superview_;
  if (!parent) return;
  // Keep this view alive until the member function returns, even when the
  // superview held the last reference.
  std::shared_ptr<UIView> self = weak_from_this().lock();
  auto& siblings = parent->subviews_;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [this](const auto& v) { return v.get() == this; }),
                 siblings.end());
  superview_ = nullptr;
  parent->notifyChanged();
}

void UIView::notifyChanged() {
  if (changed_) changed_();
}

}  // namespace platform::preferences
