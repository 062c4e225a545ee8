#include "platform/preferences/ui_view.h"

#include <gtest/gtest.h>

#include "platform/preferences/page_stack.h"
#include "platform/preferences/testing/fake_services.h"
#include "platform/preferences/web_view.h"

namespace platform::preferences {
namespace {

std::string frameText(const UIView& v) {
  CGRect f = v.frame();
  return std::to_string(int(f.origin.x)) + "," + std::to_string(int(f.origin.y)) + " " +
         std::to_string(int(f.size.width)) + "x" + std::to_string(int(f.size.height));
}

TEST(UIView, FlexibleWidthAndHeightFollowTheSuperview) {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
  auto fill = std::make_shared<UIView>(root->bounds());
  fill->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  auto fixed = std::make_shared<UIView>(CGRectMake(0, 240, 320, 50));
  root->addSubview(fill);
  root->addSubview(fixed);
  root->setFrame(CGRectMake(0, 0, 768, 960));
  EXPECT_EQ(frameText(*fill), "0,0 768x960");
  EXPECT_EQ(frameText(*fixed), "0,240 320x50");
}

TEST(UIView, FlexibleMarginsShareTheGrowthByTheirLengths) {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 300, 100));
  auto centred = std::make_shared<UIView>(CGRectMake(100, 0, 100, 100));
  centred->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                               UIViewAutoresizingFlexibleRightMargin);
  root->addSubview(centred);
  root->setFrame(CGRectMake(0, 0, 500, 100));
  EXPECT_EQ(frameText(*centred), "200,0 100x100");
}

TEST(UIView, RemovingFromTheSuperviewHappensOnce) {
  auto root = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
  int changes = 0;
  root->setChangeHandler([&] { ++changes; });
  auto label = std::make_shared<UILabel>(CGRectMake(0, 50, 320, 50));
  root->addSubview(label);
  EXPECT_EQ(changes, 1);
  label->removeFromSuperview();
  label->removeFromSuperview();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(label->superview(), nullptr);
  EXPECT_TRUE(root->subviews().empty());
}

TEST(UIView, AViewRemovedWhileOnlyItsSuperviewHeldItStaysValidUntilDone) {
  auto root = std::make_shared<UIView>();
  std::weak_ptr<UIView> child;
  {
    auto c = std::make_shared<UIView>();
    child = c;
    root->addSubview(c);
  }
  child.lock()->removeFromSuperview();
  EXPECT_TRUE(child.expired());
  EXPECT_TRUE(root->subviews().empty());
}

TEST(UIView, ASubviewOutlivingItsSuperviewHasNone) {
  auto child = std::make_shared<UIView>();
  {
    auto root = std::make_shared<UIView>();
    root->addSubview(child);
  }
  EXPECT_EQ(child->superview(), nullptr);
  child->removeFromSuperview();  // no effect, no dangling superview
}

TEST(UIView, AddingMovesAViewAndRefusesCycles) {
  auto a = std::make_shared<UIView>();
  auto b = std::make_shared<UIView>();
  auto c = std::make_shared<UIView>();
  a->addSubview(c);
  b->addSubview(c);
  EXPECT_TRUE(a->subviews().empty());
  EXPECT_EQ(c->superview(), b.get());
  c->addSubview(b);
  EXPECT_TRUE(c->subviews().empty());
}

class Delegate : public UIWebViewDelegate {
 public:
  void webViewDidFinishLoad(UIWebView&) override { events.push_back("finish"); }
  void webViewDidFailLoadWithError(UIWebView&, const NSError& e) override {
    events.push_back("fail " + std::to_string(e.code));
  }
  std::vector<std::string> events;
};

TEST(UIWebView, LoadsThroughTheEngineAndReportsToItsDelegate) {
  testing::FakeServices fakes;
  auto web = std::make_shared<UIWebView>(CGRectMake(0, 0, 10, 10));
  Delegate delegate;
  web->setDelegate(&delegate);
  web->loadRequest(NSURLRequest::requestWithURL(foundation::NSURL::URLWithString("http://a.b/c")));
  EXPECT_EQ(fakes.web->loads(), std::vector<std::string>{"http://a.b/c"});
  fakes.web->finish();
  fakes.web->fail();
  web->setDelegate(nullptr);
  fakes.web->finish();
  EXPECT_EQ(delegate.events, (std::vector<std::string>{"finish", "fail -1009"}));
  web.reset();
  EXPECT_EQ(fakes.web->liveWebViews(), 0u);
}

class Page : public UIViewController {
 public:
  explicit Page(int& destroyed) : destroyed_(destroyed) {}
  ~Page() override { ++destroyed_; }

 private:
  int& destroyed_;
};

TEST(PageStack, OwnsItsPagesUntilTheyArePopped) {
  int destroyed = 0;
  int changes = 0;
  PageStack stack;
  stack.setChangeHandler([&] { ++changes; });
  stack.push(std::make_shared<Page>(destroyed), true);
  stack.push(std::make_shared<Page>(destroyed), true);
  EXPECT_EQ(stack.pages().size(), 2u);
  stack.pop(true);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(stack.top()->pageStack(), &stack);
  stack.popAll();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(changes, 4);
  stack.pop(true);
  EXPECT_EQ(changes, 4);
}

TEST(PageStack, APageIsOnOneStackOnly) {
  PageStack stack;
  int destroyed = 0;
  auto page = std::make_shared<Page>(destroyed);
  stack.push(page, false);
  stack.push(page, false);
  EXPECT_EQ(stack.pages().size(), 1u);
}

TEST(UIViewController, LoadsItsViewOnceWithThePageFrame) {
  setDefaultPageFrame(CGRectMake(0, 0, 320, 416));
  UIViewController c;
  EXPECT_FALSE(c.isViewLoaded());
  UIView& v = c.view();
  EXPECT_EQ(&c.view(), &v);
  EXPECT_EQ(frameText(v), "0,0 320x416");
  setDefaultPageFrame(CGRectMake(0, 0, 375, 603));
}

}  // namespace
}  // namespace platform::preferences
