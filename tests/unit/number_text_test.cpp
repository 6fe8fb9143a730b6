// NumberToText's text of a whole number comes without the general float formatter; it must
// be the very text the general format (nine digits of precision) gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "interp/builtins_util.h"
#include "interp/convert.h"
#include "interp/state.h"

namespace tavrin {
namespace {

std::string general(double v) {
  convert::FormatSettings settings;
  settings.decimalSeparator = '.';
  return convert::floatToStrF(v, int(convert::FloatFormat::General), 9, 4, settings);
}

TEST(NumberToText, WholeNumbersMatchTheGeneralFormat) {
  State s;
  s.core.decimalSeparator = '.';
  std::vector<double> values = {0.0, -0.0, 1, -1, 9, 10, -10, 99, 100, 65535, 65536, 2147483647.0, -2147483648.0,
                                999999999, -999999999, 1e9, -1e9, 1e9 - 1, 1e9 + 1, 123456789012.0, 1e15, -1e15,
                                1e15 + 1, 1e16, 9007199254740993.0, 1e300, -1e300, 4294967295.0, 4294967296.0};
  // Powers of two and ten, their neighbours, and a spread of values either side of zero.
  for (int i = 0; i < 64; ++i) {
    const double p = std::ldexp(1.0, i);
    for (double v : {p - 1, p, p + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (double p = 1; p < 1e20; p *= 10)
    for (double v : {p - 1, p, p + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const double v = double(int64_t(x % 4000000000ull) - 2000000000);
    values.push_back(v);
    values.push_back(std::trunc(v / double(1 + x % 1000)));
  }
  for (double v : values) EXPECT_EQ(numberToText(s, v), general(v)) << v;
}

TEST(NumberToText, OtherNumbersStillGoThroughTheGeneralFormat) {
  State s;
  s.core.decimalSeparator = '.';
  for (double v : {0.5, -0.5, 1.25, 1e-5, -123456.789, 3.14159265358979, 999999999.5, 1e9 + 0.5,
                   std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()})
    EXPECT_EQ(numberToText(s, v), general(v)) << v;
  // What Free Pascal's FloatToStrF(v, ffGeneral, 9, 4) writes for whole numbers below ten
  // digits. (Past them the general format writes an exponent of at least four digits, as
  // Delphi's does, where Free Pascal writes 1E9.)
  EXPECT_EQ(numberToText(s, 0.0), "0");
  EXPECT_EQ(numberToText(s, -1.0), "-1");
  EXPECT_EQ(numberToText(s, 999999999.0), "999999999");
  EXPECT_EQ(numberToText(s, -999999999.0), "-999999999");
  EXPECT_EQ(numberToText(s, 1e9), "1E0009");
}

}  // namespace
}  // namespace tavrin
