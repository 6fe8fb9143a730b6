// What the terminal renderer writes: console colours as ANSI SGR, and after the first frame
// only the cells that changed.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "lib/terminal.h"

namespace tavrin {
namespace {

std::string sgr(uint16_t attribute) {
  char buffer[64];
  TermWriter out(-1, buffer, sizeof buffer);
  writeAttributeSgr(out, attribute);
  // Not flushed: read what is buffered through a pipe instead.
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  TermWriter piped(fds[1], buffer, sizeof buffer);
  writeAttributeSgr(piped, attribute);
  piped.flush();
  close(fds[1]);
  char got[64];
  ssize_t n = read(fds[0], got, sizeof got);
  close(fds[0]);
  return std::string(got, size_t(n > 0 ? n : 0));
}

TEST(TerminalColours, ConsoleOrderMapsOntoAnsi) {
  EXPECT_EQ(sgr(0x07), "\x1b[0;37;40m");   // light grey on black
  EXPECT_EQ(sgr(0x01), "\x1b[0;34;40m");   // 1 is blue
  EXPECT_EQ(sgr(0x04), "\x1b[0;31;40m");   // 4 is red
  EXPECT_EQ(sgr(0x1E), "\x1b[0;93;44m");   // yellow on blue
  EXPECT_EQ(sgr(0xC0), "\x1b[0;30;101m");  // bit 7: bright background, no blink
  EXPECT_EQ(sgr(0x36), "\x1b[0;33;46m");   // brown on cyan
  EXPECT_EQ(sgr(0x0F07), "\x1b[0;37;40m"); // bits above 7 draw nothing
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(m_fds), 0);
    fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
  }
  void TearDown() override {
    close(m_fds[0]);
    close(m_fds[1]);
  }
  std::string drain() {
    std::string all;
    char buffer[65536];
    ssize_t n;
    while ((n = read(m_fds[0], buffer, sizeof buffer)) > 0) all.append(buffer, size_t(n));
    return all;
  }
  int m_fds[2];
};

TEST_F(RenderTest, OnlyChangedCellsAreRedrawn) {
  ScreenBuffer screen;
  TerminalScreen terminal(m_fds[1], true);
  screen.write("hello", 7);
  ASSERT_TRUE(terminal.render(screen));
  std::string first = drain();
  EXPECT_NE(first.find("hello"), std::string::npos);
  EXPECT_NE(first.find("\x1b[2J"), std::string::npos);  // the first frame is drawn whole

  screen.setCell(2 * 80 + 10, makeCell(0xC9, 0x1E));
  ASSERT_TRUE(terminal.render(screen));
  std::string second = drain();
  EXPECT_EQ(second.find("hello"), std::string::npos);
  EXPECT_NE(second.find("\x1b[3;11H\x1b[0;93;44m\xe2\x95\x94"), std::string::npos) << second;
  EXPECT_EQ(second.find("\x1b[2J"), std::string::npos);

  ASSERT_TRUE(terminal.render(screen));
  std::string third = drain();  // nothing changed: at most the cursor is placed again
  EXPECT_EQ(third.find("\x1b[0;"), std::string::npos) << third;
}

TEST_F(RenderTest, ScrollingLetsTheTerminalMoveTheRows) {
  ScreenBuffer screen;
  TerminalScreen terminal(m_fds[1], true);
  for (int i = 0; i < 24; ++i) screen.write("line " + std::to_string(i) + "\n", 7);
  ASSERT_TRUE(terminal.render(screen));
  drain();
  screen.write("last\n", 7);
  ASSERT_TRUE(terminal.render(screen));
  std::string frame = drain();
  // The cursor already sits on the last row: one line feed there scrolls, then the new row.
  EXPECT_EQ(frame.find("\n\x1b[24;1Hlast"), 0u) << frame;
  EXPECT_EQ(frame.find("line 5"), std::string::npos);  // moved by the terminal, not redrawn
  EXPECT_NE(frame.find("last"), std::string::npos);
}

TEST_F(RenderTest, TitleCursorAndGlyphsOfControlBytes) {
  ScreenBuffer screen;
  TerminalScreen terminal(m_fds[1], true);
  screen.setTitle("T\x01tle");
  screen.setCursorInfo(100, false);
  screen.setCell(0, makeCell(0x03, 7));
  ASSERT_TRUE(terminal.render(screen));
  std::string frame = drain();
  EXPECT_NE(frame.find("\x1b]0;T\xe2\x98\xbatle\a"), std::string::npos);
  EXPECT_NE(frame.find("\x1b[?25l"), std::string::npos);
  EXPECT_NE(frame.find("\xe2\x99\xa5"), std::string::npos);  // ♥
  TerminalScreen ascii(m_fds[1], false);
  ASSERT_TRUE(ascii.render(screen));
  EXPECT_EQ(drain().find("\xe2"), std::string::npos);
}

TEST_F(RenderTest, SuspendLeavesTheLastScreenAndResumeRedrawsIt) {
  ScreenBuffer screen;
  TerminalScreen terminal(m_fds[1], true);
  screen.write("first row\n\nthird", 0x1E);
  ASSERT_TRUE(terminal.render(screen));
  drain();
  ASSERT_TRUE(terminal.suspend(screen));
  std::string left = drain();
  size_t leave = left.find("\x1b[?1049l");
  ASSERT_NE(leave, std::string::npos);
  // The rows written after leaving: two with text, the blank one between as a bare line end.
  EXPECT_NE(left.find("first row\x1b[0m\r\n\x1b[0m\r\n\x1b[0;93;44mthird", leave), std::string::npos) << left;
  ASSERT_TRUE(terminal.resume(screen));
  std::string back = drain();
  EXPECT_NE(back.find("\x1b[?1049h"), std::string::npos);
  EXPECT_NE(back.find("first row"), std::string::npos);  // drawn whole again
  restoreTerminal();  // the way out leaves the resumed screen again, once
  EXPECT_NE(drain().find("\x1b[?1049l"), std::string::npos);
  restoreTerminal();
  EXPECT_EQ(drain(), "");
}

}  // namespace
}  // namespace tavrin
