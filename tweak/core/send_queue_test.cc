#include "tweak/core/send_queue.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/foundation/property_list.h"
#include "tweak/core/preferences.h"
#include "tweak/core/process_state.h"
#include "tweak/core/undelivered_reply.h"

namespace tweak {
namespace {

using platform::foundation::Array;
using platform::foundation::Data;
using platform::foundation::Dictionary;
using platform::foundation::Value;

SendRequest textRequest(std::string id, std::string conversation, std::string text) {
  SendRequest r;
  r.requestID = std::move(id);
  r.created = 1000;
  r.conversationID = Value(std::move(conversation));
  r.messageText = Value(std::move(text));
  return r;
}

// The ids of the queue, in order.
std::string ids(const Dictionary& file) {
  std::string out;
  for (const auto& r : readQueue(file).pending) out += (out.empty() ? "" : ",") + r.requestID;
  return out;
}

const Array& pendingArray(const Dictionary& file) {
  return *platform::foundation::find(file, key::pendingRequests)->asArray();
}

// A file as it comes back from disk.
Dictionary roundTrip(const Dictionary& file) {
  auto bytes = platform::foundation::serializePropertyList(
      Value(file), platform::foundation::PropertyListFormat::Xml);
  return *platform::foundation::parsePropertyList(bytes)->asDictionary();
}

TEST(SendQueue, ARequestComesBackFromTheFileAsItWasWritten) {
  SendRequest r = textRequest("a", "42", "Grüße 👋🏽");
  r.created = 1700000000.25;
  r.pictureFile = Value("170000000001.jpg");
  r.pictureFileWithPath = Value("/var/x/Documents/Attachments/170000000001.jpg");
  r.conversationName = "Alice Smith";
  r.attempts = 3;
  r.lastFailure = "Viber did not store the message. Message not sent.";
  r.nextAttempt = 1700000009.5;
  r.claim = SendClaim{"messenger-7", 1700000001.75};
  r.afterKey = 1234;
  Dictionary file;
  enqueueRequest(file, r);
  auto back = readQueue(roundTrip(file));
  ASSERT_EQ(back.pending.size(), 1u);
  EXPECT_EQ(toValue(back.pending[0]), toValue(r));
  EXPECT_TRUE(back.damaged.empty());
  EXPECT_TRUE(back.used);
}

TEST(SendQueue, KeysItDoesNotKnowStayInTheEntryAndInTheFile) {
  Dictionary file{
      {"debugMode", Value(true)},
      {"somethingNewer", Value(7)},
      {key::pendingRequests, Value(Array{Value(Dictionary{{"requestID", Value("a")},
                                                          {"conversationID", Value("1")},
                                                          {"priority", Value("high")},
                                                          {"blob", Value(Data{1, 2})}})})}};
  auto queue = readQueue(file);
  ASSERT_EQ(queue.pending.size(), 1u);
  enqueueRequest(file, textRequest("b", "2", "x"));
  const Dictionary& first = *pendingArray(file)[0].asDictionary();
  EXPECT_EQ(*platform::foundation::find(first, "priority"), Value("high"));
  EXPECT_EQ(*platform::foundation::find(first, "blob"), Value(Data{1, 2}));
  EXPECT_EQ(*platform::foundation::find(file, "somethingNewer"), Value(7));
  EXPECT_EQ(ids(file), "a,b");
}

TEST(SendQueue, ADamagedEntryIsSkippedWithItsReasonAndTheRestIsRead) {
  Dictionary file{
      {key::pendingRequests,
       Value(Array{Value("not a request"), Value(Dictionary{{"conversationID", Value("1")}}),
                   Value(Dictionary{{"requestID", Value("")}}),
                   toValue(textRequest("good", "3", "hi")),
                   Value(Dictionary{{"requestID", Value(5)}})})}};
  auto queue = readQueue(file);
  EXPECT_EQ(ids(file), "good");
  ASSERT_EQ(queue.damaged.size(), 4u);
  EXPECT_EQ(queue.damaged[0].why, "not a dictionary: not a request");
  EXPECT_EQ(queue.damaged[1].why.rfind("no requestID: ", 0), 0u);
  // What can be read of it names it.
  EXPECT_EQ(queue.damaged[1].named.conversationID, Value("1"));
  // Whatever the other kinds hold, reading them never fails.
  Dictionary odd = *toValue(textRequest("odd", "3", "hi")).asDictionary();
  odd["created"] = Value(Array{});
  odd["attempts"] = Value("many");
  odd["sendingBy"] = Value(Data{1});
  odd["nextAttempt"] = Value(Dictionary{});
  std::string why;
  auto r = requestFromValue(Value(odd), why);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->created, 0);
  EXPECT_EQ(r->attempts, 0);
  EXPECT_FALSE(r->claim);
  EXPECT_FALSE(r->nextAttempt);
}

TEST(SendQueue, AQueueThatIsNotAListIsDamagedAndReplacedByTheNextWrite) {
  Dictionary file{{key::pendingRequests, Value("oops")}};
  auto queue = readQueue(file);
  EXPECT_TRUE(queue.pending.empty());
  ASSERT_EQ(queue.damaged.size(), 1u);
  EXPECT_EQ(queue.damaged[0].why, "the queue is not a list: oops");
  enqueueRequest(file, textRequest("a", "1", "x"));
  EXPECT_EQ(ids(file), "a");
}

TEST(SendQueue, TheFourKeysAreWrittenForTheNewestRequestAndTextLeavesOlderPictureKeys) {
  Dictionary file;
  SendRequest photo = textRequest("a", "1", "");
  photo.pictureFile = Value("100.jpg");
  photo.pictureFileWithPath = Value("/x/100.jpg");
  enqueueRequest(file, photo);
  enqueueRequest(file, textRequest("b", "2", "later"));
  EXPECT_EQ(*platform::foundation::find(file, key::conversationID), Value("2"));
  EXPECT_EQ(*platform::foundation::find(file, key::messageText), Value("later"));
  EXPECT_EQ(*platform::foundation::find(file, key::messagePictureFile), Value("100.jpg"));
  // The keys hold the text request (the stale picture keys do not count), not the photo.
  auto queue = readQueue(file);
  EXPECT_TRUE(requestKeysHold(file, queue.pending[1]));
  EXPECT_FALSE(requestKeysHold(file, queue.pending[0]));
  EXPECT_FALSE(requestLeftInKeys(file, queue));
}

TEST(SendQueue, ARequestInTheFourKeysAloneIsOneLeftByAnEarlierVersion) {
  processState().clock = [] { return 5000.0; };
  Dictionary file{{key::messageText, Value("old form")}, {key::conversationID, Value("9")}};
  auto left = requestLeftInKeys(file, readQueue(file));
  ASSERT_TRUE(left);
  EXPECT_EQ(left->messageText, Value("old form"));
  EXPECT_EQ(left->created, 5000.0);
  EXPECT_FALSE(left->requestID.empty());
  // Without a conversation there is no request.
  EXPECT_FALSE(requestLeftInKeys({{key::messageText, Value("x")}}, QueueState{}));
  resetProcessState();
}

TEST(SendQueue, FinishingTakesOutOnlyThoseRequestsAndTheirKeysAndKeepsTheLastOutcomes) {
  Dictionary file{{"showAlerts", Value(true)}};
  for (int i = 0; i < 25; ++i) {
    enqueueRequest(file, textRequest("r" + std::to_string(i), "1", "t" + std::to_string(i)));
  }
  auto queue = readQueue(file);
  const auto all = queue.pending;
  auto done = finishRequests(file, queue, {{all[24], deliveredOutcome(all[24], 77, 2000)}});
  EXPECT_EQ(done.size(), 1u);
  EXPECT_EQ(platform::foundation::find(file, key::messageText), nullptr);
  FinishedRequests rest{{all[0], failedOutcome(all[0], "gone", 2001)}};
  for (int i = 1; i < 24; ++i) rest.emplace_back(all[i], deliveredOutcome(all[i], i, 2002));
  // One finished already, and one named twice: each leaves once.
  rest.emplace_back(all[24], deliveredOutcome(all[24], 77, 2003));
  rest.emplace_back(all[3], deliveredOutcome(all[3], 3, 2004));
  EXPECT_EQ(finishRequests(file, queue, rest).size(), 24u);
  writeQueue(file, queue);
  EXPECT_EQ(ids(file), "");
  auto outcomes = readOutcomes(roundTrip(file));
  ASSERT_EQ(outcomes.size(), kOutcomesKept);
  // Finished last to first: r24, r0, r1 ... r23; the newest are kept.
  EXPECT_EQ(outcomes.front().requestID, "r" + std::to_string(24 - kOutcomesKept));
  EXPECT_EQ(outcomes.back().requestID, "r23");
  EXPECT_EQ(outcomes.back().messageKey, 23);
  EXPECT_TRUE(outcomes.back().delivered);
  EXPECT_EQ(*platform::foundation::find(file, "showAlerts"), Value(true));
}

TEST(SendQueue, RequestsPastTheDeadlineLeaveWithTheirLastFailureOrTheDeadlineText) {
  Dictionary file{{key::requestDeadlineSeconds, Value(60)}};
  SendRequest old = textRequest("old", "1", "hello");
  old.lastFailure = "Unable to connect to Viber DB. Message not sent.";
  SendRequest older = textRequest("older", "2", "there");
  SendRequest fresh = textRequest("fresh", "3", "now");
  fresh.created = 1050;
  enqueueRequest(file, old);
  enqueueRequest(file, older);
  enqueueRequest(file, fresh);
  auto queue = readQueue(file);
  auto expired = expiredRequests(queue, requestDeadlineSeconds(file), 1060);
  ASSERT_EQ(expired.size(), 2u);
  EXPECT_EQ(expired[0].second.reason, "Unable to connect to Viber DB. Message not sent.");
  EXPECT_EQ(expired[1].second.reason, "Viber did not take the reply in time. Message not sent.");
  EXPECT_FALSE(expired[1].second.delivered);
  finishRequests(file, queue, expired);
  writeQueue(file, queue);
  EXPECT_EQ(ids(file), "fresh");
  EXPECT_EQ(readOutcomes(file).size(), 2u);
}

// Writers that do not end damaged entries (the springboard's request, the
// messenger's record of its sends) keep them, so that the messenger's next
// take ends each with an outcome; none vanishes unreported.
TEST(SendQueue, DamagedEntriesOutliveEveryWriteButTheOneThatEndsThem) {
  Dictionary file{
      {key::pendingRequests,
       Value(Array{Value("garbage"), toValue(textRequest("twin", "1", "a")),
                   toValue(textRequest("twin", "2", "b")), toValue(textRequest("ok", "3", "c"))})}};
  enqueueRequest(file, textRequest("new", "4", "d"));
  auto queue = readQueue(file);
  EXPECT_EQ(ids(file), "ok,new");
  ASSERT_EQ(queue.damaged.size(), 3u);
  EXPECT_EQ(queue.damaged[1].why, "requestID twin is held by another entry too");
  auto ended = endDamagedEntries(file, queue, 3000);
  writeQueue(file, queue);
  EXPECT_TRUE(readQueue(file).damaged.empty());
  ASSERT_EQ(ended.size(), 3u);
  EXPECT_EQ(ended[0].second.reply, "A reply that could not be read");
  EXPECT_FALSE(ended[0].first.requestID.empty());
  EXPECT_EQ(ended[2].second.requestID, "twin");
  EXPECT_EQ(ended[2].second.reply, "Reply to conversation 2: \"b\"");
  auto outcomes = readOutcomes(file);
  ASSERT_EQ(outcomes.size(), 3u);
  for (const auto& o : outcomes) EXPECT_EQ(o.reason, kUnreadableReplyText);
  EXPECT_EQ(ids(file), "ok,new");
}

TEST(SendQueue, TheDeadlineSettingFallsBackToADayForAnythingButAPositiveNumberUpToAYear) {
  EXPECT_EQ(requestDeadlineSeconds({}), 86400);
  EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value(2.5)}}), 2.5);
  EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value("30")}}), 30);
  EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value(0)}}), 86400);
  EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value(-5)}}), 86400);
  EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value(Array{})}}), 86400);
  EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value(366.0 * 86400)}}),
            366.0 * 86400);
  for (double absurd : {366.0 * 86400 + 1, 1e300, std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(requestDeadlineSeconds({{key::requestDeadlineSeconds, Value(absurd)}}), 86400)
        << absurd;
  }
}

TEST(SendQueue, IdentifiersOfOneProcessSortInTheOrderTheyWereMade) {
  std::string a = newRequestID(1700000000.000001);
  std::string b = newRequestID(1700000000.000001);
  std::string c = newRequestID(1700000001);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
}

TEST(UndeliveredReply, AnAlertNamesTheConversationAndTheStartOfTheReply) {
  SendRequest r = textRequest("a", "12", "On my way");
  EXPECT_EQ(
      undeliveredAlertText("Unable to match conversation. Message not sent.", r),
      "Unable to match conversation. Message not sent.\nReply to conversation 12: \"On my way\"");
  r.conversationName = "Alice Smith";
  r.messageText = Value(std::string(38, 'x') + "éé😀 and more");
  EXPECT_EQ(describeReply(r),
            "Reply to Alice Smith (conversation 12): \"" + std::string(38, 'x') + "éé...\"");
  r.pictureFile = Value("1.jpg");
  EXPECT_EQ(describeReply(r), "Photo reply to Alice Smith (conversation 12)");
}

}  // namespace
}  // namespace tweak
