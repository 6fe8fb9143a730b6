// The cursor statement's size operand: 1..100 shows the cursor at that size, 0 or less
// hides it (size 100), above 100 changes nothing. Programs cannot read the cursor's
// shape back, so it is pinned here on the console state.
#include <gtest/gtest.h>

#include "lib/console.h"

namespace tavrin {
namespace {

TEST(ConsoleCursor, SizeZeroOrLessHidesAndAboveHundredIsRefused) {
  ConsoleState c;
  setCursorSize(c, 40);
  EXPECT_TRUE(c.screen.cursorVisible());
  EXPECT_EQ(c.screen.cursorSize(), 40);
  setCursorSize(c, 0);
  EXPECT_FALSE(c.screen.cursorVisible());
  EXPECT_EQ(c.screen.cursorSize(), 100);
  setCursorSize(c, 1);
  EXPECT_TRUE(c.screen.cursorVisible());
  EXPECT_EQ(c.screen.cursorSize(), 1);
  setCursorSize(c, -7);
  EXPECT_FALSE(c.screen.cursorVisible());
  setCursorSize(c, 101);
  EXPECT_FALSE(c.screen.cursorVisible());
  EXPECT_EQ(c.screen.cursorSize(), 100);
}

}  // namespace
}  // namespace tavrin
