// The growth of the parameter stores, which programs observe only indirectly (through
// stale slots and the bounds of the text list): one batch of 12 slots per store and call,
// whenever the level being entered lacks room.
#include <gtest/gtest.h>

#include "interp/calls.h"

namespace tavrin {
namespace {

TEST(ParameterStores, GrowByOneBatchOfTwelveWhenALevelLacksRoom) {
  CallState c;
  EXPECT_EQ(c.numberSlots.size(), 50u * 8);
  EXPECT_EQ(c.textSlots.size(), 50u);
  EXPECT_EQ(c.referenceSlots.size(), 50u * 3);
  // Slot counts after entering levels 1, 2, 3, ...: the store must hold (level + 1) * 11.
  const size_t expected[] = {50, 50, 50, 62, 74, 86, 98, 110, 110, 122, 134};
  for (size_t level = 1; level <= 11; ++level) {
    c.level = int32_t(level);
    growParameterStores(c);
    EXPECT_EQ(c.numberSlots.size(), expected[level - 1] * 8) << "level " << level;
    EXPECT_EQ(c.referenceSlots.size(), expected[level - 1] * 3) << "level " << level;
    EXPECT_EQ(c.textSlots.size(), expected[level - 1]) << "level " << level;
  }
}

TEST(ParameterStores, NumbersAndTextsAreTestedApartAndGrowAtMostOnceACall) {
  CallState c;
  c.numberSlots.write<double>(70 * 8, 1.0);  // a write past the end extended the numbers
  c.level = 5;                                // needs 66 slots
  growParameterStores(c);
  EXPECT_EQ(c.numberSlots.size(), 71u * 8);    // room enough: no batch
  EXPECT_EQ(c.referenceSlots.size(), 50u * 3);  // grows only with the numbers
  EXPECT_EQ(c.textSlots.size(), 62u);           // one batch, though still short
  growParameterStores(c);
  EXPECT_EQ(c.textSlots.size(), 74u);
}

}  // namespace
}  // namespace tavrin
