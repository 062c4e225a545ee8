// Views: the rectangles a page is built from (UIView), and the text label (UILabel).
//
// A view has a frame in its superview's coordinates (points, origin top-left), a
// background colour and an autoresizing mask, and owns its subviews; a subview
// refers to its superview without owning it. Views are always held by
// std::shared_ptr (make them with std::make_shared), because a view that is taken
// out of its superview may lose its last owner then.
//
// When a view's size changes, each subview is moved and resized by its
// autoresizing mask, as the platform does. The Settings app shows a view tree by
// watching its root: the change handler of a view is called after a subview has
// been added to it or removed from it, or after its frame changed.
//
// Views are used from the main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"

namespace platform::preferences {

using graphics::CGFloat;
using graphics::CGPoint;
using graphics::CGRect;
using graphics::CGRectMake;
using graphics::CGSize;

// UIViewAutoresizing: which margins and dimensions follow the superview's size.
enum UIViewAutoresizing : unsigned {
  UIViewAutoresizingNone = 0,
  UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
  UIViewAutoresizingFlexibleWidth = 1 << 1,
  UIViewAutoresizingFlexibleRightMargin = 1 << 2,
  UIViewAutoresizingFlexibleTopMargin = 1 << 3,
  UIViewAutoresizingFlexibleHeight = 1 << 4,
  UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};

struct UIColor {
  CGFloat red = 0, green = 0, blue = 0, alpha = 1;
  static UIColor clearColor() { return {0, 0, 0, 0}; }
  static UIColor whiteColor() { return {1, 1, 1, 1}; }
  friend bool operator==(const UIColor&, const UIColor&) = default;
};

class UIView : public std::enable_shared_from_this<UIView> {
 public:
  explicit UIView(CGRect frame = {}) : frame_(frame) {}
  virtual ~UIView();
  UIView(const UIView&) = delete;
  UIView& operator=(const UIView&) = delete;

  virtual std::string className() const { return "UIView"; }

  CGRect frame() const { return frame_; }
  // Sets the frame; when the size changes, resizes the subviews by their masks.
  void setFrame(CGRect frame);
  // The view's own coordinates: origin (0, 0), the frame's size.
  CGRect bounds() const { return {{0, 0}, frame_.size}; }

  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }

  UIColor backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(UIColor color) { backgroundColor_ = color; }

  // Adds `view` on top of the other subviews, taking it out of its former
  // superview first. Adding a view to itself or to one of its subviews is ignored.
  void addSubview(const std::shared_ptr<UIView>& view);
  // Takes the view out of its superview; no effect when it is in none. The
  // superview's reference is dropped, so the caller must hold the view to keep it.
  void removeFromSuperview();

  UIView* superview() const { return superview_; }
  const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }

  void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

 private:
  void resizeSubviews(CGSize oldSize);
  void notifyChanged();

  CGRect frame_;
  unsigned autoresizingMask_ = UIViewAutoresizingNone;
  UIColor backgroundColor_ = UIColor::whiteColor();
  UIView* superview_ = nullptr;
  std::vector<std::shared_ptr<UIView>> subviews_;
  std::function<void()> changed_;
};

// NSTextAlignment.
enum class NSTextAlignment { Left = 0, Center = 1, Right = 2 };

class UILabel : public UIView {
 public:
  using UIView::UIView;
  std::string className() const override { return "UILabel"; }

  const std::string& text() const { return text_; }
  void setText(std::string text) { text_ = std::move(text); }
  NSTextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(NSTextAlignment alignment) { alignment_ = alignment; }

 private:
  std::string text_;
  NSTextAlignment alignment_ = NSTextAlignment::Left;
};

}  // namespace platform::preferences
