#include "tweak/core/request_rules.h"

#include <gtest/gtest.h>

#include <limits>

#include "tweak/core/failure_texts.h"

namespace tweak {
namespace {

using platform::foundation::Array;
using platform::foundation::Data;
using platform::foundation::Date;
using platform::foundation::Dictionary;
using platform::foundation::Value;

constexpr double kNow = 1'700'000'000;
constexpr double kDay = 86400;

SendRequest text(Value conversation, Value message) {
  SendRequest r;
  r.requestID = "r";
  r.created = kNow - 5;
  r.conversationID = std::move(conversation);
  r.messageText = std::move(message);
  return r;
}

SendRequest picture(Value name, std::optional<Value> path = std::nullopt) {
  SendRequest r = text(Value("42"), Value("caption"));
  r.pictureFile = std::move(name);
  r.pictureFileWithPath = std::move(path);
  return r;
}

// The alert text the rule gives, or "sendable".
std::string judged(const SendRequest& r) {
  auto why = whyUnsendable(r, kNow, kDay);
  return why ? why->reason : "sendable";
}

TEST(RequestRules, TextsAndPicturesAsTheSpringboardWritesThemAreSendable) {
  EXPECT_EQ(judged(text(Value("42"), Value("hi"))), "sendable");
  EXPECT_EQ(judged(text(Value(42), Value("a number conversation reads as its decimal text"))),
            "sendable");
  EXPECT_EQ(judged(text(Value("42"), Value(""))), "sendable");
  EXPECT_EQ(judged(picture(Value("170000000000.jpg"),
                           Value("/var/mobile/Containers/Data/Application/X/Documents/Attachments/"
                                 "170000000000.jpg"))),
            "sendable");
  // On iOS 7 Viber's folders are reached through its bundle.
  EXPECT_EQ(judged(picture(Value("170000000000.jpg"),
                           Value("/private/var/mobile/Applications/X/Viber.app/../Documents/"
                                 "Attachments/170000000000.jpg"))),
            "sendable");
  // An older springboard without Viber's container writes "(null)" before the folders.
  EXPECT_EQ(judged(picture(Value("1.jpg"), Value("(null)/Documents/Attachments/1.jpg"))),
            "sendable");
  SendRequest noCaption = picture(Value("1.jpg"));
  noCaption.messageText.reset();
  EXPECT_EQ(judged(noCaption), "sendable");
}

TEST(RequestRules, AConversationThatIsNotOneIsNeverMatched) {
  for (const Value& id :
       {Value(true), Value(false), Value(42.5), Value(Array{Value("42")}),
        Value(Dictionary{{"a", Value("42")}}), Value(Data{4, 2}), Value(Date{100})}) {
    EXPECT_EQ(judged(text(id, Value("x"))), kNoConversationAlert) << id.description();
  }
  SendRequest none = text(Value("42"), Value("x"));
  none.conversationID.reset();
  EXPECT_EQ(judged(none), kNoConversationIDAlert);
}

TEST(RequestRules, ATextThatIsNotTextOrNoContentAtAllIsUnreadable) {
  for (const Value& t : {Value(12), Value(true), Value(Array{}), Value(Data{1})}) {
    EXPECT_EQ(judged(text(Value("42"), t)), kUnreadableReplyText) << t.description();
  }
  SendRequest empty = text(Value("42"), Value("x"));
  empty.messageText.reset();
  EXPECT_EQ(judged(empty), kUnreadableReplyText);
  EXPECT_EQ(judged(picture(Value("1.jpg"))), "sendable");
}

TEST(RequestRules, APictureOutsideViberAttachmentFoldersIsRefused) {
  for (const Value& name : {Value("../../etc/passwd"), Value("a/b.jpg"), Value(".."), Value(""),
                            Value("x\\y.jpg"), Value(std::string("a\0b.jpg", 7)), Value(7)}) {
    EXPECT_EQ(judged(picture(name)), kPictureFailedAlert) << name.description();
  }
  for (const Value& path : {Value("/etc/passwd"), Value("/x/Documents/Attachments/other.jpg"),
                            Value("/x/Documents/Attachments/../../../etc/1.jpg"),
                            Value("/x/Attachments/../1.jpg"), Value(1)}) {
    EXPECT_EQ(judged(picture(Value("1.jpg"), path)), kPictureFailedAlert) << path.description();
  }
}

TEST(RequestRules, ATimeOfMakingThatIsNoTimeIsUnreadable) {
  for (double created : {0.0, -1.0, kNow + kDay + 1, 1e300, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
    SendRequest r = text(Value("42"), Value("x"));
    r.created = created;
    EXPECT_EQ(judged(r), kUnreadableReplyText) << created;
  }
  // A clock stepped back by an hour still makes requests.
  SendRequest ahead = text(Value("42"), Value("x"));
  ahead.created = kNow + 3600;
  EXPECT_EQ(judged(ahead), "sendable");
}

TEST(RequestRules, OnlyTheUnsendableOfAQueueEndAndTheSparedAreLeft) {
  QueueState queue;
  queue.pending = {text(Value("1"), Value("ok")), text(Value(true), Value("bool")),
                   text(Value("3"), Value(3)), text(Value("4"), Value(4))};
  queue.pending[0].requestID = "a";
  queue.pending[1].requestID = "b";
  queue.pending[2].requestID = "c";
  queue.pending[3].requestID = "d";
  queue.damaged.push_back({Value("garbage"), "not a dictionary: garbage", {}});
  Dictionary file;
  auto ended = endUnsendable(file, queue, kNow, kDay,
                             [](const SendRequest& r) { return r.requestID == "d"; });
  ASSERT_EQ(ended.ended.size(), 3u);
  EXPECT_EQ(ended.ended[0].second.reason, kUnreadableReplyText);
  EXPECT_EQ(ended.ended[1].second.requestID, "b");
  EXPECT_EQ(ended.ended[1].second.reason, kNoConversationAlert);
  EXPECT_FALSE(ended.ended[2].second.delivered);
  EXPECT_EQ(ended.why, (std::vector<std::string>{"not a dictionary: garbage",
                                                 "b: its conversationID is not a conversation: 1",
                                                 "c: its messageText is not text: 3"}));
  ASSERT_EQ(queue.pending.size(), 2u);
  EXPECT_EQ(queue.pending[1].requestID, "d");
  EXPECT_TRUE(queue.damaged.empty());
  EXPECT_EQ(readOutcomes(file).size(), 3u);
}

}  // namespace
}  // namespace tweak
