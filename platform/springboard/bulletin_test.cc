#include "platform/springboard/bulletin.h"

#include <gtest/gtest.h>

namespace platform::springboard {
namespace {

using foundation::Array;
using foundation::Dictionary;
using foundation::Value;

// A bulletin crosses from the command line to the springboard as a dictionary:
// every field set on one side must arrive on the other.
TEST(BBBulletinTest, EveryFieldSurvivesTheTripThroughADictionary) {
  BBBulletin b;
  b.context = {{"userInfo", Value(Dictionary{{"fn", Value("+15550100001")}})}};
  b.message = "Alice: hi";
  b.sectionID = "com.viber";
  b.defaultAction = Value("open");
  b.acknowledgeAction = Value(1);
  b.alternateAction = Value(true);
  b.publisherBulletinID = Value("pub-7");
  b.recordID = Value("rec-9");
  b.actions = Value(Array{Value("reply")});
  b.supplementaryActions = Value(Array{Value("mute"), Value("call")});

  BBBulletin back = BBBulletin::fromDictionary(b.toDictionary());
  EXPECT_EQ(back.toDictionary(), b.toDictionary());
  EXPECT_EQ(back.recordID, Value("rec-9"));
  EXPECT_EQ(back.supplementaryActions, b.supplementaryActions);
}

TEST(BBBulletinTest, AbsentFieldsStayNilAndWrongTypesAreIgnored) {
  BBBulletin back = BBBulletin::fromDictionary(
      {{"message", Value(5)}, {"sectionID", Value(Array{})}, {"context", Value("x")}});
  EXPECT_FALSE(back.message);
  EXPECT_FALSE(back.sectionID);
  EXPECT_TRUE(back.context.empty());
  EXPECT_TRUE(back.defaultAction.isNull());
  EXPECT_EQ(back.toDictionary(), (Dictionary{{"context", Value(Dictionary{})}}));
}

}  // namespace
}  // namespace platform::springboard
