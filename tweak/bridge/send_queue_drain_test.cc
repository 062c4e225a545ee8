// The executor over the queue: every pending request sent in order, each at
// most once, confirmed from the database, retried while it may still go out,
// dropped with one alert when it never can or its deadline has passed.
#include "tweak/bridge/executor_test_fixture.h"

namespace tweak {
namespace {

using platform::foundation::Array;
using platform::foundation::Dictionary;
using platform::foundation::Value;
using Lines = std::vector<std::string>;

class SendQueueDrain : public testing::ExecutorTest {
 protected:
  // Changes the first queued request in the file.
  void changeFirst(const std::function<void(SendRequest&)>& change) {
    updateMailbox([&](Dictionary& d) {
      auto q = readQueue(d);
      change(q.pending[0]);
      writeQueue(d, q);
    });
  }

  // A text send as the fake messenger records it.
  static std::string textSend(const std::string& text, int conversation) {
    return "sendMessageOfType(text," + text + ",(null),conversation " +
           std::to_string(conversation) + ",(null),(null),(null),(null),(null))";
  }
};

TEST_F(SendQueueDrain, FiveRequestsAreSentInOrderEachOnceWithNoAlert) {
  for (int c = 43; c <= 46; ++c) messenger_.addConversation(c);
  for (int i = 0; i < 5; ++i) {
    queue("r" + std::to_string(i), std::to_string(42 + i), "reply " + std::to_string(i));
  }
  for (int i = 0; i < 5; ++i) run();  // one notification per request
  EXPECT_EQ(sends(),
            (Lines{textSend("reply 0", 42), textSend("reply 1", 43), textSend("reply 2", 44),
                   textSend("reply 3", 45), textSend("reply 4", 46)}));
  EXPECT_EQ(outcomes(true), (Lines{"r0:delivered 100", "r1:delivered 101", "r2:delivered 102",
                                   "r3:delivered 103", "r4:delivered 104"}));
  EXPECT_EQ(pending(), "");
  EXPECT_EQ(requestKeys(), "");
  EXPECT_EQ(alert(), "(none)|(none)");
  EXPECT_EQ(center_->postCount(kRequestOutcomeNotification), 1);
}

TEST_F(SendQueueDrain, ARequestLeftInTheFourKeysAloneIsSentOnceAndFirst) {
  request({{"messageText", Value("old form")}, {"conversationID", Value("42")}});
  SendRequest r;
  r.requestID = "new";
  r.created = queueNow();
  r.conversationID = Value("42");
  r.messageText = Value("new form");
  updateMailbox([&](Dictionary& d) {
    QueueState q;
    q.pending.push_back(r);
    writeQueue(d, q);
  });
  run();
  run();
  EXPECT_EQ(sends(), (Lines{textSend("old form", 42), textSend("new form", 42)}));
  EXPECT_EQ(requestKeys(), "debugMode=0,showAlerts=1");
}

TEST_F(SendQueueDrain, TheFourKeysWrittenForTheNewestRequestAreNotSentAsASecondOne) {
  queue("a", "42", "first");
  queue("b", "42", "second");
  run();
  EXPECT_EQ(sends(), (Lines{textSend("first", 42), textSend("second", 42)}));
  EXPECT_EQ(requestKeys(), "");
}

TEST_F(SendQueueDrain, ADamagedEntryIsDroppedWithALogLineAndTheRestIsSent) {
  queue("good", "42", "fine");
  updateMailbox([](Dictionary& d) {
    Array list = *platform::foundation::find(d, key::pendingRequests)->asArray();
    list.insert(list.begin(), Value("garbage"));
    d[key::pendingRequests] = Value(list);
  });
  run();
  EXPECT_EQ(sends(), Lines{textSend("fine", 42)});
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: dropped a damaged send request: "),
            Lines{"PXVIBER: dropped a damaged send request: not a dictionary: garbage"});
  EXPECT_EQ(pending(), "");
}

// One rule for every entry whose content cannot be a reply: each ends in the
// first pass with one failed outcome, all named in one alert, none sent or
// tried again; the valid requests beside them go out as usual.
TEST_F(SendQueueDrain, EveryEntryThatCannotBeAReplyEndsOnceAndTheValidOnesGoOut) {
  queue("before", "42", "first valid");
  auto entry = [](std::string id, Value conversation, Value text) {
    return Value(Dictionary{{"requestID", Value(std::move(id))},
                            {"created", Value(queueNow())},
                            {"conversationID", std::move(conversation)},
                            {"messageText", std::move(text)}});
  };
  Dictionary climbing = *entry("climbing", Value("42"), Value("")).asDictionary();
  climbing["messagePictureFile"] = Value("../../etc/passwd");
  Dictionary timeless = *entry("timeless", Value("42"), Value("when?")).asDictionary();
  timeless["created"] = Value("yesterday");
  updateMailbox([&](Dictionary& d) {
    Array list = *platform::foundation::find(d, key::pendingRequests)->asArray();
    for (Value v :
         {entry("boolean", Value(true), Value("to whom?")), entry("number", Value("42"), Value(12)),
          entry("twin", Value("42"), Value("a")), entry("twin", Value("42"), Value("b")),
          Value(Dictionary{{"requestID", Value("empty")},
                           {"created", Value(queueNow())},
                           {"conversationID", Value("42")}}),
          Value(climbing), Value(timeless)}) {
      list.push_back(v);
    }
    d[key::pendingRequests] = Value(list);
  });
  queue("after", "42", "second valid");
  run();
  EXPECT_EQ(sends(), (Lines{textSend("first valid", 42), textSend("second valid", 42)}));
  EXPECT_EQ(pending(), "");
  auto done = outcomes(true);
  ASSERT_EQ(done.size(), 9u);  // seven that cannot be replies, two sent
  EXPECT_EQ(done.back(), "after:delivered 101");
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 1);
  EXPECT_EQ(alert(),
            "PXVIBER Error|Unable to read the reply. Message not sent.|"
            "Reply to conversation 42: \"a\"\n"
            "Reply to conversation 42: \"b\"\n"
            "Reply to conversation 1: \"to whom?\" — Unable to match conversation. Message not "
            "sent.\n"
            "Reply to conversation 42: \"12\"\n"
            "Reply to conversation 42: \"\"\n"
            "Photo reply to conversation 42 — Unable to send picture message.\n"
            "Reply to conversation 42: \"when?\"");
}

TEST_F(SendQueueDrain, AMessageTheDatabaseDidNotTakeIsRetriedNotDroppedAndSentOnce) {
  messenger_.storeNothing(true);
  queue("r", "42", "busy");
  notify();
  EXPECT_EQ(pending(), "r");
  EXPECT_TRUE(outcomes().empty());
  EXPECT_EQ(readQueue(*readMailbox()).pending[0].lastFailure,
            "Viber did not store the message. Message not sent.");
  EXPECT_EQ(log_.linesStartingWith("PXVIBER: send request r not sent yet").size(), 1u);
  // Not yet due: the retry comes after a second, then after two more.
  loop_->advance(platform::runloop::Seconds(1));
  EXPECT_EQ(sends().size(), 2u);
  loop_->advance(platform::runloop::Seconds(1.5));
  EXPECT_EQ(sends().size(), 2u);
  messenger_.storeNothing(false);
  loop_->advance(platform::runloop::Seconds(0.5));
  EXPECT_EQ(sends().size(), 3u);
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  EXPECT_EQ(alert(), "(none)|(none)");
  quiet();
  EXPECT_EQ(sends().size(), 3u);
}

TEST_F(SendQueueDrain, ARequestPastItsDeadlineIsDroppedWithOneAlertNamingIt) {
  updateMailbox([](Dictionary& d) { d[key::requestDeadlineSeconds] = Value(60); });
  queue("old", "42", "too late for this one", std::nullopt, 61);
  queue("fresh", "42", "in time", std::nullopt, 10);
  run();
  EXPECT_EQ(sends(), Lines{textSend("in time", 42)});
  EXPECT_EQ(outcomes(true), (Lines{"old:Viber did not take the reply in time. Message not sent.",
                                   "fresh:delivered 100"}));
  EXPECT_EQ(alert(),
            "PXVIBER Error|Viber did not take the reply in time. Message not sent.|"
            "Reply to conversation 42: \"too late for this one\"");
  run();
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 1);
}

TEST_F(SendQueueDrain, FailuresOfOnePassAreToldInOneAlertNamingEachReply) {
  queue("a", "77", "first");
  queue("b", "78", "second");
  run();
  EXPECT_EQ(alert(),
            "PXVIBER Error|Unable to match conversation. Message not sent.|"
            "Reply to conversation 77: \"first\"\n"
            "Reply to conversation 78: \"second\"");
  EXPECT_EQ(center_->postCount(kShowAlertNotification), 1);
}

TEST_F(SendQueueDrain, ATextThatADeadMessengerAlreadySentIsNotSentAgain) {
  messenger_.stored().push_back({100, 42, "hi", std::nullopt, false});
  queue("r", "42", "hi");
  changeFirst([this](SendRequest& r) {
    r.claim = SendClaim{"Viber[1]", queueNow() - 5};
    r.afterKey = 99;
  });
  run();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
}

TEST_F(SendQueueDrain, ATextADeadMessengerTookButNeverSentIsSent) {
  messenger_.stored().push_back({100, 42, "hi", std::nullopt, false});
  queue("r", "42", "hi");
  changeFirst([this](SendRequest& r) {
    r.claim = SendClaim{"Viber[1]", queueNow() - 5};
    r.afterKey = 100;
  });
  run();
  EXPECT_EQ(sends(), Lines{textSend("hi", 42)});
  EXPECT_EQ(outcomes(), Lines{"42:delivered 101"});
}

TEST_F(SendQueueDrain, APictureBeingSentIsNotSentAgainByTheNextNotification) {
  messenger_.addAttachment("p.jpg");
  queue("r", "42", "", "p.jpg");
  run();
  run();
  EXPECT_EQ(sends().size(), 1u);
  // Nothing of it is done before the messenger calls the completion.
  EXPECT_TRUE(outcomes().empty());
  EXPECT_NE(messenger_.calls().back().rfind("sendPictureMessage", 0), std::string::npos);
  complete(0, true);
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
  run();
  EXPECT_EQ(sends().size(), 1u);
}

TEST_F(SendQueueDrain, APictureInTheDatabaseButNotUploadedIsOnlyUploadedOnTheNextTry) {
  messenger_.addAttachment("p.jpg");
  messenger_.stored().push_back({100, 42, std::nullopt, "p.jpg", false});
  queue("r", "42", "", "p.jpg");
  changeFirst([](SendRequest& r) {
    r.attempts = 1;
    r.afterKey = 99;
  });
  run();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(messenger_.calls().back(), "uploadAttachment(p.jpg,NO)");
  EXPECT_EQ(outcomes(), Lines{"42:delivered 100"});
}

TEST_F(SendQueueDrain, NothingIsSentThatCouldNotBeConfirmed) {
  setMessageStoreOpener(false);
  queue("r", "42", "hi");
  run();
  EXPECT_TRUE(sends().empty());
  EXPECT_EQ(readQueue(*readMailbox()).pending[0].lastFailure,
            "Unable to connect to Viber DB. Message not sent.");
}

TEST_F(SendQueueDrain, AtLaunchWhatIsPendingIsSentAndAnEmptyQueueSaysNothing) {
  sendRequestsLeftPending();
  EXPECT_EQ(file(), "NONE");
  queue("r", "42", "waited");
  sendRequestsLeftPending();
  EXPECT_EQ(sends(), Lines{textSend("waited", 42)});
  EXPECT_EQ(alert(), "(none)|(none)");
}

}  // namespace
}  // namespace tweak
