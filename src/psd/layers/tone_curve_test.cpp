#include "psd/layers/tone_curve.h"

#include <gtest/gtest.h>

namespace pixolune {
namespace {

TEST(NaturalSplineTest, PassesThroughItsPointsSmoothlyAndFlatBeyond) {
  const NaturalSpline curve({{1.0, 1.0}, {0.0, 0.0}, {0.5, 0.8}});  // Given out of order.
  EXPECT_DOUBLE_EQ(0.0, curve(0.0));
  EXPECT_DOUBLE_EQ(0.8, curve(0.5));
  EXPECT_DOUBLE_EQ(1.0, curve(1.0));
  // Bowed above the straight lines between the points, as a curve through a raised middle is.
  EXPECT_GT(curve(0.25), 0.4);
  EXPECT_GT(curve(0.75), 0.9);
  EXPECT_DOUBLE_EQ(0.0, curve(-1.0));
  EXPECT_DOUBLE_EQ(1.0, curve(2.0));
  // Natural: the curve is straight at its ends, so equal steps there rise almost equally.
  EXPECT_NEAR(curve(0.02) - curve(0.01), curve(0.01) - curve(0.0), 1e-4);
}

TEST(NaturalSplineTest, TwoPointsAreAStraightLineAndFewerTheIdentity) {
  const NaturalSpline line({{0.0, 0.2}, {1.0, 0.6}});
  EXPECT_NEAR(0.4, line(0.5), 1e-12);
  EXPECT_DOUBLE_EQ(0.3, NaturalSpline({{0.5, 0.9}})(0.3));
  EXPECT_DOUBLE_EQ(0.3, NaturalSpline({})(0.3));
}

}  // namespace
}  // namespace pixolune
