// The Linux terminal under the console: the screen buffer shown with VT/ANSI sequences
// (only the cells that changed), raw key input, and giving the terminal back on every way
// out, including from a signal handler.
#pragma once
#include <termios.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/console_screen.h"

namespace tavrin {

// Whether the terminal takes UTF-8 (LC_ALL, LC_CTYPE, LANG; none set counts as UTF-8).
bool terminalIsUtf8();
// Whether fd is a terminal that understands VT sequences (TERM is set and not "dumb").
bool isVtTerminal(int fd);

// Buffered writes to a file descriptor with no allocation after construction; safe to use
// from a signal handler with a static buffer.
class TermWriter {
 public:
  TermWriter(int fd, char* buffer, size_t capacity) : m_fd(fd), m_buffer(buffer), m_capacity(capacity) {}
  void put(const char* data, size_t n);
  void put(char c) { put(&c, 1); }
  void put(const char* text);
  void putNumber(unsigned v);
  bool flush();  // false when the terminal refused the bytes
  bool failed() const { return m_failed; }

 private:
  int m_fd;
  char* m_buffer;
  size_t m_capacity;
  size_t m_length = 0;
  bool m_failed = false;
};

// The attribute's colours as SGR: the console's colour order (1 blue, 4 red) mapped onto
// ANSI's, bit 3 the bright foreground, bit 7 the bright background; bit 14 reverse video,
// bit 15 underscore.
void writeAttributeSgr(TermWriter& out, uint16_t attribute);

// The visible screen on a VT terminal (standard output), in one of two ways:
// - lines (the start): the buffer's rows are drawn where the program's output goes on the
//   normal screen, moving the terminal's cursor only relative to where it is, and rows that
//   scroll out of the buffer scroll the terminal, so a program that only prints lines leaves
//   them in the terminal's scrollback, as a command-line program does;
// - full screen: the alternate screen shows the whole 80x25 buffer; a program gets it from
//   its first cursor placement, clearing, poke or page shown (needFull), and keeps it.
class TerminalScreen {
 public:
  TerminalScreen(int fd, bool utf8);

  // Starts in lines, or on the alternate screen with the buffer drawn in full.
  bool begin(ScreenBuffer& screen, bool full = true);
  // From lines to the full screen (nothing when it is there already).
  bool needFull(ScreenBuffer& screen);
  bool full() const { return m_full; }
  // Draws what changed since the last call; false when the terminal refused the bytes.
  bool render(ScreenBuffer& screen);
  void bell() { m_pendingBells++; }
  // The normal screen for another program (the last screen written on it), and back.
  bool suspend(ScreenBuffer& screen);
  bool resume(ScreenBuffer& screen);

 private:
  void queryClip();
  void redrawAll(TermWriter& out);
  void moveTo(TermWriter& out, int x, int y);
  void drawCell(TermWriter& out, ScreenBuffer& screen, int x, int y);
  void renderLines(TermWriter& out, ScreenBuffer& screen);
  void startLines(const ScreenBuffer& screen);

  int m_fd;
  bool m_utf8;
  int m_clipColumns = kScreenColumns, m_clipRows = kScreenRows;
  std::array<uint32_t, kScreenCells> m_shown;  // kUnknownCell where the terminal's cell is unknown
  int m_termX = -1, m_termY = -1;              // the terminal's cursor, -1 unknown
  int m_sgr = -1;                              // the attribute of the last SGR, -1 unknown
  int m_cursorShown = -1, m_shapeShown = -1;
  std::string m_titleShown;
  int m_pendingBells = 0;
  bool m_firstFrame = true;
  bool m_full = true;
  int m_lineTop = 0;  // lines: the buffer's first row that the program's output reached
  std::vector<char> m_buffer;
};

// Raw input from a terminal on standard input.
class TerminalInput {
 public:
  // Saves the terminal's settings and switches to raw mode: no echo, no line editing, no
  // flow control, CR kept; Ctrl+C still interrupts, Ctrl+Z and Ctrl+\ become keys.
  bool enterRaw(int fd);
  bool active() const { return m_active; }
  // The saved settings for the length of one cooked line read, and back.
  void cooked();
  void raw();

 private:
  int m_fd = -1;
  bool m_active = false;
  termios m_saved{};
  termios m_raw{};
};

// What every way out needs to give the terminal back. The console registers its screen
// and its saved input settings here; restoreTerminal() leaves the alternate screen, writes
// the last screen on the normal one (so the program's output stays visible), resets the
// cursor, colours and title, and restores the input settings. It allocates nothing and is
// called from the signal handlers too; it does its work once.
// `full`: the alternate screen is up (lines only need their colours and cursor reset).
void registerTerminalScreen(const ScreenBuffer* screen, int fd, bool utf8, bool full = true);
void registerTerminalInput(int fd, const termios& saved);
void restoreTerminal();

// Set by SIGWINCH: the next render redraws at the new size.
void noteTerminalResized();

}  // namespace tavrin
