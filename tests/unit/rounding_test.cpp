// The byte code's conversions to 32-bit integers: roundToInt rounds to nearest with ties
// to even and raises 207 when the rounded value leaves 32 bits; truncateToInt cuts toward
// zero with the same bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "interp/evaluator.h"
#include "runtime/run_error.h"

namespace {

using tavrin::roundToInt;
using tavrin::truncateToInt;

int errorOf(int32_t (*f)(double), double v) {
  try {
    f(v);
  } catch (const tavrin::RunError& e) {
    return e.number;
  }
  return 0;
}

TEST(RoundToInt, TiesGoToTheEvenNeighbour) {
  EXPECT_EQ(roundToInt(0.5), 0);
  EXPECT_EQ(roundToInt(1.5), 2);
  EXPECT_EQ(roundToInt(2.5), 2);
  EXPECT_EQ(roundToInt(-0.5), 0);
  EXPECT_EQ(roundToInt(-1.5), -2);
  EXPECT_EQ(roundToInt(-2.5), -2);
  EXPECT_EQ(roundToInt(0.49999999999999994), 0);  // the largest double below one half
  EXPECT_EQ(roundToInt(2.5000000000000004), 3);
  EXPECT_EQ(roundToInt(-0.0), 0);
}

TEST(RoundToInt, TheBoundIsOnTheRoundedValue) {
  EXPECT_EQ(roundToInt(2147483647.0), 2147483647);
  EXPECT_EQ(roundToInt(2147483647.4), 2147483647);
  EXPECT_EQ(errorOf(roundToInt, 2147483647.5), 207);  // ties to 2^31
  EXPECT_EQ(roundToInt(-2147483648.5), std::numeric_limits<int32_t>::min());  // ties to -2^31
  EXPECT_EQ(errorOf(roundToInt, -2147483648.6), 207);
  EXPECT_EQ(errorOf(roundToInt, 4294967296.0), 207);    // not wrapped into 32 bits
  EXPECT_EQ(errorOf(roundToInt, -4294967295.0), 207);
  EXPECT_EQ(errorOf(roundToInt, 1e19), 207);            // past 64 bits as well
  EXPECT_EQ(errorOf(roundToInt, -1e300), 207);
  EXPECT_EQ(errorOf(roundToInt, std::numeric_limits<double>::infinity()), 207);
  EXPECT_EQ(errorOf(roundToInt, -std::numeric_limits<double>::infinity()), 207);
  EXPECT_EQ(errorOf(roundToInt, std::numeric_limits<double>::quiet_NaN()), 207);
}

TEST(RoundToInt, AgreesWithNearbyintInThe32BitRange) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> wide(-2147483649.0, 2147483649.0), narrow(-64.0, 64.0);
  for (int i = 0; i < 200000; ++i) {
    double v = i % 3 == 0 ? wide(random) : narrow(random);
    if (i % 3 == 2) v = std::floor(v) + 0.5;  // halves
    const double r = std::nearbyint(v);
    if (r >= -2147483648.0 && r <= 2147483647.0) {
      ASSERT_EQ(roundToInt(v), int32_t(r)) << v;
    } else {
      ASSERT_EQ(errorOf(roundToInt, v), 207) << v;
    }
  }
}

TEST(TruncateToInt, CutsTowardZeroWithinTheBound) {
  EXPECT_EQ(truncateToInt(2.9), 2);
  EXPECT_EQ(truncateToInt(-2.9), -2);
  EXPECT_EQ(truncateToInt(2147483647.9), 2147483647);
  EXPECT_EQ(truncateToInt(-2147483648.9), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(errorOf(truncateToInt, 2147483648.0), 207);
  EXPECT_EQ(errorOf(truncateToInt, -2147483649.0), 207);
  EXPECT_EQ(errorOf(truncateToInt, std::numeric_limits<double>::quiet_NaN()), 207);
}

}  // namespace
