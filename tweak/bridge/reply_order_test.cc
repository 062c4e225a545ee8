// Replies to one conversation reach it in the order they were made: a reply
// waiting for its retry, or a picture waiting for its completion, holds back
// the later replies to its conversation; other conversations go on.
#include "tweak/bridge/executor_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Dictionary;
using Lines = std::vector<std::string>;

class ReplyOrder : public testing::ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    messenger_.addConversation(43);
  }

  // The texts sent, in order, as "<conversation>:<text>".
  Lines sentTexts() const {
    Lines out;
    for (const auto& m : const_cast<ReplyOrder*>(this)->messenger_.stored()) {
      out.push_back(std::to_string(m.conversation) + ":" + m.text.value_or("[picture]"));
    }
    return out;
  }

  void change(const std::string& id, const std::function<void(SendRequest&)>& how) {
    updateMailbox([&](Dictionary& d) {
      auto q = readQueue(d);
      for (auto& r : q.pending) {
        if (r.requestID == id) how(r);
      }
      writeQueue(d, q);
    });
  }
};

// The readings of a pass: the highest key for the claims (1), then per text
// its look-up, the highest key before the send and the read-back.
TEST_F(ReplyOrder, AReplyWaitingForItsRetryHoldsBackTheLaterOnesToItsConversation) {
  queue("one", "42", "order one");
  queue("two", "42", "order two");
  queue("other", "43", "elsewhere");
  queue("three", "42", "order three");
  failReadings({2});
  notify();
  EXPECT_EQ(sentTexts(), Lines{"43:elsewhere"});
  EXPECT_EQ(pending(), "one two three");
  quiet();
  EXPECT_EQ(sentTexts(), (Lines{"43:elsewhere", "42:order one", "42:order two", "42:order three"}));
  EXPECT_EQ(outcomes(true), (Lines{"other:delivered 100", "one:delivered 101", "two:delivered 102",
                                   "three:delivered 103"}));
}

// A retry due for another conversation comes while the first reply to 42
// still waits for its own: the pass sends the due one and leaves 42 alone.
TEST_F(ReplyOrder, ARetryPassForAnotherConversationDoesNotOvertakeAWaitingReply) {
  queue("x", "43", "due first");
  queue("one", "42", "order one");
  queue("two", "42", "order two");
  change("one", [](SendRequest& r) { r.attempts = 2; });  // its next wait is 4 s, x's 1 s
  failReadings({2, 3});
  notify();
  EXPECT_TRUE(sentTexts().empty());
  loop_->advance(platform::runloop::Seconds(1));
  EXPECT_EQ(sentTexts(), Lines{"43:due first"});
  quiet();
  EXPECT_EQ(sentTexts(), (Lines{"43:due first", "42:order one", "42:order two"}));
}

TEST_F(ReplyOrder, APictureInFlightHoldsBackTheTextAfterItUntilItsCompletion) {
  messenger_.addAttachment("p.jpg");
  queue("photo", "42", "", "p.jpg");
  queue("text", "42", "after the photo");
  queue("other", "43", "not held");
  notify();
  EXPECT_EQ(sentTexts(), (Lines{"42:", "43:not held"}));
  notify();
  EXPECT_EQ(sends().size(), 2u);
  complete(0, true);
  loop_->advance(platform::runloop::Seconds(0));
  EXPECT_EQ(sentTexts(), (Lines{"42:", "43:not held", "42:after the photo"}));
  EXPECT_EQ(outcomes(true),
            (Lines{"other:delivered 101", "photo:delivered 100", "text:delivered 102"}));
}

}  // namespace
}  // namespace tweak
