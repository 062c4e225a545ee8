#include "platform/graphics/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform::graphics {
namespace {

void expectNear(CGPoint p, double x, double y) {
  EXPECT_NEAR(p.x, x, 1e-12);
  EXPECT_NEAR(p.y, y, 1e-12);
}

TEST(AffineTransform, MapsPointsAsAxPlusCyPlusT) {
  const auto t = CGAffineTransformMake(2, 3, 5, 7, 11, 13);
  expectNear(CGPointApplyAffineTransform({1, 10}, t), 2 + 50 + 11, 3 + 70 + 13);
}

TEST(AffineTransform, ConcatAppliesTheFirstTransformFirst) {
  const auto scale = CGAffineTransformMakeScale(2, 3);
  const auto move = CGAffineTransformMakeTranslation(10, 20);
  expectNear(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(scale, move)), 12, 23);
  expectNear(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(move, scale)), 22, 63);
}

TEST(AffineTransform, BuildingStepsApplyTheNewStepFirst) {
  // Translate, then rotate by a quarter turn: a point is rotated first, moved after.
  auto t = CGAffineTransformTranslate(CGAffineTransformIdentity, 100, 0);
  t = CGAffineTransformRotate(t, 1.5707963267948966);
  expectNear(CGPointApplyAffineTransform({1, 0}, t), 100, 1);
  t = CGAffineTransformScale(t, 2, 1);
  expectNear(CGPointApplyAffineTransform({1, 0}, t), 100, 2);
  // Translating a scaled transform moves in the scaled units.
  const auto s = CGAffineTransformTranslate(CGAffineTransformMakeScale(3, 3), 1, 1);
  expectNear(CGPointApplyAffineTransform({0, 0}, s), 3, 3);
}

TEST(AffineTransform, RotationFollowsTheStatedFormula) {
  const double angle = 0.3;
  const auto r = CGAffineTransformMakeRotation(angle);
  expectNear(CGPointApplyAffineTransform({2, 5}, r), 2 * std::cos(angle) - 5 * std::sin(angle),
             2 * std::sin(angle) + 5 * std::cos(angle));
}

TEST(AffineTransform, InvertUndoes) {
  const auto t = CGAffineTransformMake(2, 1, -1, 3, 7, -4);
  const auto back = CGAffineTransformConcat(t, CGAffineTransformInvert(t));
  expectNear(CGPointApplyAffineTransform({9, -2}, back), 9, -2);
  const auto singular = CGAffineTransformMakeScale(0, 1);
  EXPECT_TRUE(CGAffineTransformEqualToTransform(CGAffineTransformInvert(singular), singular));
}

}  // namespace
}  // namespace platform::graphics
