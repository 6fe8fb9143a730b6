// The screen buffer's processed output (wrap, scroll, CR, LF, BS, TAB, BEL) and the
// code page 437 table, checked against the C library's own IBM437 converter where present.
#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>

#include "lib/console_screen.h"
#include "lib/cp437.h"

namespace tavrin {
namespace {

std::string row(const ScreenBuffer& b, int r, int from = 0, int count = kScreenColumns) {
  std::string out;
  for (int c = from; c < from + count; ++c) out.push_back(char(cellChar(b.cell(r * kScreenColumns + c))));
  return out;
}

TEST(ScreenBuffer, StartsBlankInLightGrey) {
  ScreenBuffer b;
  EXPECT_EQ(b.cell(0), makeCell(' ', 7));
  EXPECT_EQ(b.cell(kScreenCells - 1), makeCell(' ', 7));
  EXPECT_EQ(b.cursorX(), 0);
  EXPECT_EQ(b.cursorY(), 0);
}

TEST(ScreenBuffer, TextTakesTheAttributeAndLineFeedReturnsToColumnZero) {
  ScreenBuffer b;
  b.write("ab\ncd", 0x1E);
  EXPECT_EQ(b.cell(0), makeCell('a', 0x1E));
  EXPECT_EQ(b.cell(80), makeCell('c', 0x1E));
  EXPECT_EQ(b.cursorX(), 2);
  EXPECT_EQ(b.cursorY(), 1);
  b.write("\rX", 7);
  EXPECT_EQ(row(b, 1, 0, 2), "Xd");
}

TEST(ScreenBuffer, WrapsAtTheLastColumnAtOnce) {
  ScreenBuffer b;
  b.write(std::string(80, 'x'), 7);
  EXPECT_EQ(b.cursorX(), 0);
  EXPECT_EQ(b.cursorY(), 1);
  b.write("y", 7);
  EXPECT_EQ(row(b, 1, 0, 1), "y");
}

TEST(ScreenBuffer, ScrollsAtTheBottomWithTheWritingAttribute) {
  ScreenBuffer b;
  for (int i = 0; i < 25; ++i) b.write(std::string(1, char('A' + i)) + "\n", 7);
  EXPECT_EQ(b.scrolledLines(), 1);
  EXPECT_EQ(row(b, 0, 0, 1), "B");
  EXPECT_EQ(row(b, 23, 0, 1), "Y");
  EXPECT_EQ(b.cell(24 * 80), makeCell(' ', 7));
  EXPECT_EQ(b.cursorY(), 24);
  b.write(std::string(80, 'z'), 0x4F);  // the wrap at the bottom scrolls too
  EXPECT_EQ(b.cell(24 * 80 + 5), makeCell(' ', 0x4F));
  EXPECT_EQ(row(b, 23, 0, 3), "zzz");
}

TEST(ScreenBuffer, BackspaceMovesWithoutErasingAndBacksOverAWrap) {
  ScreenBuffer b;
  b.write("abc\b\bX", 7);
  EXPECT_EQ(row(b, 0, 0, 3), "aXc");
  b.write("\r\b", 7);  // row 0, column 0: nowhere to go
  EXPECT_EQ(b.cursorX(), 0);
  EXPECT_EQ(b.cursorY(), 0);
  b.write("\n\b", 7);
  EXPECT_EQ(b.cursorX(), 79);
  EXPECT_EQ(b.cursorY(), 0);
}

TEST(ScreenBuffer, TabWritesBlanksToTheNextStopOfEight) {
  ScreenBuffer b;
  b.fill(makeCell('.', 7));
  b.setCursor(0, 0);
  b.write("ab\tc", 0x20);
  EXPECT_EQ(row(b, 0, 0, 10), "ab      c.");
  EXPECT_EQ(b.cell(5), makeCell(' ', 0x20));
  b.setCursor(78, 1);
  b.write("\t", 7);  // the stop at column 80 is the next row's start
  EXPECT_EQ(b.cursorX(), 0);
  EXPECT_EQ(b.cursorY(), 2);
}

TEST(ScreenBuffer, BellAndCellChangesAreReported) {
  ScreenBuffer b;
  b.clearChanges();
  b.write("\a", 7);
  EXPECT_EQ(b.bells(), 1);
  EXPECT_EQ(b.dirtyRows(), 0u);
  EXPECT_EQ(b.cursorX(), 0);
  b.setCell(3 * 80 + 1, makeCell('q', 7));
  EXPECT_EQ(b.dirtyRows(), 1u << 3);
  b.setCell(-1, 0);            // outside: nothing
  b.setCell(kScreenCells, 0);  // the 26th row does not exist on the screen
  EXPECT_EQ(b.dirtyRows(), 1u << 3);
}

TEST(ScreenBuffer, CursorOutsideTheBufferIsRefused) {
  ScreenBuffer b;
  b.setCursor(10, 5);
  b.setCursor(80, 5);
  b.setCursor(-1, 5);
  b.setCursor(10, 25);
  EXPECT_EQ(b.cursorX(), 10);
  EXPECT_EQ(b.cursorY(), 5);
}

TEST(Cp437, GlyphsOfControlBytesAndKnownCharacters) {
  EXPECT_EQ(cp437::toUnicode(0x00), U' ');
  EXPECT_EQ(cp437::toUnicode(0x01), U'\u263A');  // ☺
  EXPECT_EQ(cp437::toUnicode(0x03), U'\u2665');  // ♥
  EXPECT_EQ(cp437::toUnicode(0x1F), U'\u25BC');  // ▼
  EXPECT_EQ(cp437::toUnicode(0x7F), U'\u2302');  // ⌂
  EXPECT_EQ(cp437::toUnicode(0xC9), U'\u2554');  // ╔
  EXPECT_EQ(cp437::toUnicode(0xDB), U'\u2588');  // █
  EXPECT_EQ(cp437::toUnicode(0xFF), U'\u00A0');
  for (int b = 0x20; b < 0x7F; ++b) EXPECT_EQ(cp437::toUnicode(uint8_t(b)), char32_t(b));
  char out[4];
  ASSERT_EQ(cp437::glyphUtf8(0xC9, out), 3u);
  EXPECT_EQ(std::string(out, 3), "\xe2\x95\x94");
  ASSERT_EQ(cp437::glyphUtf8(0x82, out), 2u);
  EXPECT_EQ(std::string(out, 2), "\xc3\xa9");
}

TEST(Cp437, EveryByteHasItsOwnGlyphAndMapsBack) {
  std::set<char32_t> seen;
  for (int b = 1; b < 256; ++b) {
    char32_t c = cp437::toUnicode(uint8_t(b));
    EXPECT_TRUE(seen.insert(c).second) << "byte " << b;
    EXPECT_EQ(cp437::fromUnicode(c, true), b);
  }
  EXPECT_EQ(cp437::fromUnicode(U'\u263A'), -1);  // typed text yields no control bytes
  EXPECT_EQ(cp437::fromUnicode(U'\u20AC'), -1);
}

TEST(Cp437, UpperHalfAgreesWithTheCLibraryConverter) {
  iconv_t cd = iconv_open("UTF-32LE", "IBM437");
  if (cd == iconv_t(-1)) GTEST_SKIP() << "no IBM437 converter installed";
  for (int b = 0x80; b < 256; ++b) {
    char in = char(b);
    char32_t out = 0;
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(&out);
    size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &inp, &inLeft, &outp, &outLeft), size_t(-1));
    EXPECT_EQ(cp437::toUnicode(uint8_t(b)), out) << "byte " << b;
  }
  iconv_close(cd);
}

}  // namespace
}  // namespace tavrin
