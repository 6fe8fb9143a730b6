// The console service: the text attribute, locate position, modifier-report flag and the
// eight screen pages of the byte code's console, the screen buffer everything printed goes
// through, and the terminal or pipe it is shown on. Started on first use.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "lib/console_screen.h"
#include "lib/keys.h"
#include "lib/terminal.h"

namespace tavrin {

struct State;

inline constexpr int kScreenPages = 8;
inline constexpr int kPageCells = kScreenCells + 1;  // plus the spare cell 2000
inline constexpr int kLastScreenOffset = 4000;
// The console handles the byte code can ask for (functions 50 and 68).
inline constexpr int kConsoleInputHandle = 3;
inline constexpr int kConsoleOutputHandle = 7;

using ScreenPage = std::array<uint32_t, kPageCells>;

struct ConsoleState {
  uint16_t textAttribute = kDefaultAttribute;
  int16_t locateColumn = 0;
  int16_t locateRow = 0;
  uint8_t modifierReport = 0;
  std::array<ScreenPage, kScreenPages> pages{};
  ScreenBuffer screen;

  // Output: a VT terminal shows the buffer; otherwise the printed bytes go to stdout.
  std::unique_ptr<TerminalScreen> terminal;
  // Input: raw mode on a terminal; key events decoded from stdin's bytes.
  bool inputIsTerminal = false;
  bool inputStarted = false;
  bool inputEnded = false;
  TerminalInput terminalInput;
  KeyDecoder decoder;
  std::deque<InputEvent> events;
};

// The console, started on first use: on a terminal that means the alternate screen and raw
// input; on pipes nothing but the state.
ConsoleState& console(State& s);

// Printed bytes of standard output: into the screen buffer and out (buffered on a pipe or
// file). Other writers of standard output use this too, then consolePresent().
void consoleWrite(State& s, std::string_view bytes);
// The end of one printed item: a terminal shows the changes now; a pipe keeps buffering.
void consolePresent(State& s);
// Everything written so far reaches stdout (before input, waits, other programs).
void consoleFlush(State& s);
// Around another program that shares the terminal: the normal screen and cooked input
// while it runs, then the console's screen again. Nothing to do on pipes.
void consoleSuspend(State& s);
void consoleResume(State& s);
// The last step of every way out: flush, give the terminal back. Never raises.
void consoleEnd(State& s);
// The same from a signal handler: no allocation, no locks taken mid-write.
void consoleEndFromSignal();

// The console operations of the statements and functions.
void setCursorSize(ConsoleState& c, int32_t size);
void saveScreenToPage(ConsoleState& c, int32_t page);
void copyPage(ConsoleState& c, int32_t source, int32_t target);
void pokeScreen(ConsoleState& c, int32_t offset, uint16_t value);
void pokePage(ConsoleState& c, int32_t page, int32_t offset, uint16_t value);
int32_t peekScreen(const ConsoleState& c, int32_t offset);
int32_t peekPage(const ConsoleState& c, int32_t page, int32_t offset);
int32_t screenCell(const ConsoleState& c, int32_t row, int32_t column, bool attribute);
void printToPage(ConsoleState& c, int32_t page, std::string_view text);
void gotoColRow(ConsoleState& c, uint8_t column, uint8_t row);
int32_t cursorColumn(const ConsoleState& c);
int32_t cursorRow(const ConsoleState& c);
void clearScreen(ConsoleState& c);
void setForeground(ConsoleState& c, uint8_t colour);
void setBackground(ConsoleState& c, uint8_t colour);

// Keys: never block.
bool keyAvailable(State& s);
int16_t readKeyCode(State& s);
// One line of standard input without its line end; false at the end of input.
bool readConsoleLine(State& s, std::string& line);

// Printing numbers to standard output: a whole number as a 32-bit integer, others with
// nine decimals in a field of nine, whole numbers beyond 32 bits with one in sixteen.
std::string printedNumber(double v);
// The same for a page: integer text, else the general 15-digit form.
std::string pageNumberText(double v, char decimalSeparator);

}  // namespace tavrin
