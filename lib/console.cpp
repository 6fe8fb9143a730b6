// The console service: start-up on first use, output through the screen buffer, key and
// line input, and the operations on the screen and its pages.
// Hazards: consoleEndFromSignal() runs in signal handlers; g_writing tells it whether the
// main thread is inside stdio, where flushing again would be unsafe.
#include "lib/console.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "interp/convert.h"
#include "interp/dispatcher.h"
#include "lib/file_writes.h"
#include "lib/terminfo_keys.h"
#include "runtime/run_error.h"
#include "runtime/shutdown.h"
#include "interp/state.h"
#include "runtime/time_limit.h"

namespace tavrin {

namespace {

volatile sig_atomic_t g_writing = 0;

uint64_t nowMs() {
  using namespace std::chrono;
  return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void onResize(int) { noteTerminalResized(); }

struct WritingGuard {
  WritingGuard() { g_writing = 1; }
  ~WritingGuard() { g_writing = 0; }
};

// A reader that has gone away (`prog | head -1`) ends the run quietly with the status a
// pipeline expects of a program ended by SIGPIPE; any other write error loses output and
// is error 101.
[[noreturn, gnu::cold]] void writeFailed() {
  if (errno == EPIPE) throw ProgramEnd{128 + SIGPIPE};
  raiseIo(ErrorNumber::DiskWrite, "cannot write to standard output");
}

void startConsole(State& s) {
  auto c = std::make_unique<ConsoleState>();
  installExitSignalHandlers();
  if (isVtTerminal(STDOUT_FILENO)) {
    std::fflush(stdout);
    c->terminal = std::make_unique<TerminalScreen>(STDOUT_FILENO, terminalIsUtf8());
    struct sigaction resize {};
    resize.sa_handler = onResize;
    sigemptyset(&resize.sa_mask);
    resize.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &resize, nullptr);
  }
  c->inputIsTerminal = isatty(STDIN_FILENO);
  KeyDecoderOptions keys;
  keys.altPrefix = c->inputIsTerminal;
  if (c->inputIsTerminal) loadTerminfoKeys();
  keys.utf8 = c->inputIsTerminal && terminalIsUtf8();
  c->decoder = KeyDecoder(keys);
  ConsoleState& console = *c;
  s.console = std::move(c);
  // On a terminal the keys typed while the program draws must not echo over it.
  if (console.terminal && console.inputIsTerminal) {
    console.inputStarted = true;
    console.terminalInput.enterRaw(STDIN_FILENO);
  }
  // Lines first: the full screen when the program first places the cursor, clears, pokes
  // or shows a page.
  if (console.terminal && !console.terminal->begin(console.screen, false)) writeFailed();
}

void fullScreen(ConsoleState& c) {
  if (c.terminal && !c.terminal->needFull(c.screen)) writeFailed();
}

void startInput(ConsoleState& c) {
  if (c.inputStarted) return;
  c.inputStarted = true;
  if (c.inputIsTerminal) c.terminalInput.enterRaw(STDIN_FILENO);
}

// Reads what stdin has within timeoutMs (-1: wait) into the decoder; false when nothing came.
bool pumpInput(ConsoleState& c, int timeoutMs) {
  if (c.inputEnded) return false;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  int ready = poll(&p, 1, timeoutMs);
  if (ready < 0) checkTimeLimit();
  if (ready <= 0) return false;
  char buffer[512];
  ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n > 0) {
    c.decoder.feed(buffer, size_t(n), nowMs());
    return true;
  }
  if (n == 0 || (errno != EINTR && errno != EAGAIN)) c.inputEnded = true;
  return false;
}

// The next input record, decoded only when asked for, so that the bytes behind it stay
// undecoded for line input.
bool nextEvent(ConsoleState& c, InputEvent& e) {
  if (!c.events.empty()) {
    e = c.events.front();
    return true;
  }
  if (!c.decoder.next(e, nowMs(), c.inputEnded)) {
    pumpInput(c, 0);
    if (!c.decoder.next(e, nowMs(), c.inputEnded)) return false;
  }
  c.events.push_back(e);
  return true;
}

bool splitOffset(int32_t offset, int& cell, bool& attribute) {
  if (offset < 0 || offset > kLastScreenOffset) return false;
  cell = offset / 2;
  attribute = offset & 1;
  return true;
}

uint32_t poked(uint32_t old, bool attribute, uint16_t value) {
  return attribute ? makeCell(cellChar(old), value) : makeCell(uint8_t(value), cellAttribute(old));
}

int32_t peeked(uint32_t cell, bool attribute) {
  return attribute ? cellAttribute(cell) : cellChar(cell);
}

bool validPage(int32_t page) { return page >= 0 && page < kScreenPages; }

// A line from a pipe or a cooked terminal: the bytes already read first, then stdin up to
// its line feed; what follows the line stays for the next read.
bool readRawLine(ConsoleState& c, std::string& line) {
  line.clear();
  for (const InputEvent& e : c.events)
    if (e.kind == InputEvent::Kind::Key && e.ch) line.push_back(char(e.ch));
  c.events.clear();
  std::string pending = c.decoder.takeRaw();
  bool any = !line.empty() || !pending.empty();
  for (;;) {
    size_t lf = pending.find('\n');
    if (lf != std::string::npos) {
      line.append(pending, 0, lf);
      c.decoder.feed(pending.data() + lf + 1, pending.size() - lf - 1, nowMs());
      break;
    }
    line += pending;
    pending.clear();
    if (c.inputEnded) {
      if (!any) return false;
      break;
    }
    char buffer[512];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      checkTimeLimit();
      continue;
    }
    if (n < 0) raiseIo(ErrorNumber::DiskRead, "cannot read standard input");
    if (n == 0) {
      c.inputEnded = true;
      continue;
    }
    any = true;
    pending.assign(buffer, size_t(n));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// Line input with echo into the screen buffer, as the console's cooked mode edits a line:
// characters are echoed and inserted at the cursor (overwrite them after Insert), Left,
// Right, Home and End move within the line, Backspace and Delete take back a character,
// Esc the whole line, Enter ends it. Each edit redraws the line from where it began.
bool editLine(State& s, ConsoleState& c, std::string& line) {
  line.clear();
  size_t pos = 0;      // the cursor's place in the line
  bool insert = true;  // the console's insert mode
  int startRow = c.screen.cursorY(), startColumn = c.screen.cursorX();
  int shownEnd = startRow * kScreenColumns + startColumn;  // the cell after the line drawn last
  auto writeTracked = [&](std::string_view text) {
    int before = c.screen.scrolledLines();
    c.screen.write(text, c.textAttribute);
    int scrolled = c.screen.scrolledLines() - before;
    startRow -= scrolled;
    shownEnd -= scrolled * kScreenColumns;
    if (startRow < 0) startRow = startColumn = 0;  // the line's start scrolled away
  };
  auto redraw = [&] {
    c.screen.setCursor(startColumn, startRow);
    writeTracked(line);  // tabs and wrapping as the console writes them
    const int end = c.screen.cursorY() * kScreenColumns + c.screen.cursorX();
    for (int i = std::max(end, 0); i < shownEnd && i < kScreenCells; ++i) c.screen.setCell(i, makeCell(' ', c.textAttribute));
    shownEnd = end;
    c.screen.setCursor(startColumn, startRow);
    writeTracked(std::string_view(line).substr(0, pos));
  };
  for (;;) {
    InputEvent e;
    while (!nextEvent(c, e)) {
      if (c.inputEnded && c.decoder.empty()) return !line.empty();
      int wait = c.decoder.waitingMs(nowMs());
      if (!pumpInput(c, wait) && wait < 0 && c.inputEnded) return !line.empty();
    }
    c.events.pop_front();
    if (e.kind != InputEvent::Kind::Key || !e.keyDown) continue;
    if (e.ch == '\r') {
      pos = line.size();
      redraw();
      c.screen.write("\r\n", c.textAttribute);
      consolePresent(s);
      return true;
    }
    if (e.ch == '\b') {
      if (pos == 0) continue;
      line.erase(--pos, 1);
    } else if (e.ch == 27) {
      line.clear();
      pos = 0;
    } else if (e.ch >= 0x20 || e.ch == '\t') {
      if (insert || pos == line.size()) line.insert(pos, 1, char(e.ch));
      else line[pos] = char(e.ch);
      ++pos;
    } else if (e.ch == 0) {
      switch (e.scan) {
        case 75: if (pos > 0) --pos; break;            // Left
        case 77: if (pos < line.size()) ++pos; break;  // Right
        case 71: pos = 0; break;                       // Home
        case 79: pos = line.size(); break;             // End
        case 83: if (pos < line.size()) line.erase(pos, 1); break;  // Delete
        case 82: insert = !insert; break;              // Insert
        default: continue;
      }
    } else {
      continue;
    }
    redraw();
    consolePresent(s);
  }
}

}  // namespace

ConsoleState& console(State& s) {
  if (!s.console) [[unlikely]]
    startConsole(s);
  return *s.console;
}

void consoleWrite(State& s, std::string_view bytes) {
  ConsoleState& c = console(s);
  if (c.terminal && !c.terminal->full()) {
    // Lines: every row reaches the terminal before it scrolls out of the buffer, so that
    // the terminal's scrollback keeps all of them. A piece (up to a line feed, at most
    // ten bytes: ten tabs fill a row) scrolls the buffer by two rows at most.
    while (!bytes.empty()) {
      size_t n = std::min(bytes.size(), size_t(10));
      size_t lf = bytes.substr(0, n).find('\n');
      if (lf != std::string_view::npos) n = lf + 1;
      if (c.screen.cursorY() >= kScreenRows - 2 && c.screen.dirtyRows() && !c.terminal->render(c.screen)) writeFailed();
      c.screen.write(bytes.substr(0, n), c.textAttribute);
      bytes.remove_prefix(n);
    }
    return;
  }
  c.screen.write(bytes, c.textAttribute);
  if (c.terminal || bytes.empty()) return;
  WritingGuard guard;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) writeFailed();
}

void consolePresent(State& s) {
  ConsoleState& c = console(s);
  if (c.terminal && !c.terminal->render(c.screen)) writeFailed();
}

void consoleFlush(State& s) {
  if (s.console && s.console->terminal) {
    consolePresent(s);
    return;
  }
  WritingGuard guard;
  if (std::fflush(stdout) != 0) writeFailed();
}

void consoleSuspend(State& s) {
  consoleFlush(s);
  if (!s.console) return;
  ConsoleState& c = *s.console;
  if (c.terminal && !c.terminal->suspend(c.screen)) writeFailed();
  c.terminalInput.cooked();
}

void consoleResume(State& s) {
  if (!s.console) return;
  ConsoleState& c = *s.console;
  c.terminalInput.raw();
  if (c.terminal && !c.terminal->resume(c.screen)) writeFailed();
}

void consoleEnd(State& s) {
  if (s.console && s.console->terminal) s.console->terminal->render(s.console->screen);
  {
    WritingGuard guard;
    std::fflush(stdout);
  }
  restoreTerminal();
}

void consoleEndFromSignal() {
  restoreTerminal();
  if (!g_writing) std::fflush(stdout);
}

void setCursorSize(ConsoleState& c, int32_t size) {
  if (size > 100) return;  // the console refuses sizes above 100 per cent
  if (size >= 1)
    c.screen.setCursorInfo(size, true);
  else
    c.screen.setCursorInfo(100, false);
}

void saveScreenToPage(ConsoleState& c, int32_t page) {
  if (!validPage(page)) return;
  for (int i = 0; i < kScreenCells; ++i) c.pages[size_t(page)][size_t(i)] = c.screen.cell(i);
}

void copyPage(ConsoleState& c, int32_t source, int32_t target) {
  if (!validPage(source) || !validPage(target)) return;
  if (target != 0) {
    c.pages[size_t(target)] = c.pages[size_t(source)];
    return;
  }
  fullScreen(c);
  for (int i = 0; i < kScreenCells; ++i) c.screen.setCell(i, c.pages[size_t(source)][size_t(i)]);
}

void pokeScreen(ConsoleState& c, int32_t offset, uint16_t value) {
  int cell;
  bool attribute;
  if (!splitOffset(offset, cell, attribute) || cell >= kScreenCells) return;
  fullScreen(c);
  c.screen.setCell(cell, poked(c.screen.cell(cell), attribute, value));
}

void pokePage(ConsoleState& c, int32_t page, int32_t offset, uint16_t value) {
  int cell;
  bool attribute;
  if (!validPage(page) || !splitOffset(offset, cell, attribute)) return;
  uint32_t& slot = c.pages[size_t(page)][size_t(cell)];
  slot = poked(slot, attribute, value);
}

int32_t peekScreen(const ConsoleState& c, int32_t offset) {
  int cell;
  bool attribute;
  if (!splitOffset(offset, cell, attribute) || cell >= kScreenCells) return 0;
  return peeked(c.screen.cell(cell), attribute);
}

int32_t peekPage(const ConsoleState& c, int32_t page, int32_t offset) {
  int cell;
  bool attribute;
  if (!validPage(page) || !splitOffset(offset, cell, attribute)) return 0;
  return peeked(c.pages[size_t(page)][size_t(cell)], attribute);
}

int32_t screenCell(const ConsoleState& c, int32_t row, int32_t column, bool attribute) {
  if (row < 1 || row > kScreenRows || column < 1 || column > kScreenColumns) return 0;
  return peeked(c.screen.cell((row - 1) * kScreenColumns + (column - 1)), attribute);
}

void printToPage(ConsoleState& c, int32_t page, std::string_view text) {
  if (!validPage(page)) return;
  int64_t base = int64_t(c.locateRow) * kScreenColumns + c.locateColumn;
  ScreenPage& cells = c.pages[size_t(page)];
  for (size_t i = 0; i < text.size(); ++i) {
    int64_t index = base + int64_t(i);
    if (index > kScreenCells) break;  // past the spare cell: nothing more to write
    if (index >= 0) cells[size_t(index)] = makeCell(uint8_t(text[i]), c.textAttribute);
  }
  c.locateColumn = int16_t(uint16_t(uint16_t(c.locateColumn) + uint16_t(text.size())));
}

void gotoColRow(ConsoleState& c, uint8_t column, uint8_t row) {
  fullScreen(c);
  c.locateColumn = int16_t(column - 1);
  c.locateRow = int16_t(row - 1);
  c.screen.setCursor(column - 1, row - 1);
}

int32_t cursorColumn(const ConsoleState& c) { return c.screen.cursorX() + 1; }
int32_t cursorRow(const ConsoleState& c) { return c.screen.cursorY() + 1; }

void clearScreen(ConsoleState& c) {
  fullScreen(c);
  c.screen.fill(makeCell(' ', c.textAttribute));
  gotoColRow(c, 1, 1);
}

void setForeground(ConsoleState& c, uint8_t colour) {
  c.textAttribute = uint16_t((colour & 15) | (c.textAttribute & 0xF0));
}

void setBackground(ConsoleState& c, uint8_t colour) {
  c.textAttribute = uint16_t((colour * 16) | (c.textAttribute & 15));
}

bool keyAvailable(State& s) {
  ConsoleState& c = console(s);
  flushFileWrites();
  startInput(c);
  if (!c.terminal) {  // a program that polls keys shows what it printed (free when empty)
    WritingGuard guard;
    if (std::fflush(stdout) != 0) writeFailed();
  }
  InputEvent e;
  if (!nextEvent(c, e)) return false;
  if (e.kind == InputEvent::Kind::Key) return true;
  // Anything but a key empties the whole input buffer.
  c.events.clear();
  c.decoder.clear();
  if (c.inputIsTerminal) tcflush(STDIN_FILENO, TCIFLUSH);
  return false;
}

int16_t readKeyCode(State& s) {
  ConsoleState& c = console(s);
  for (;;) {
    if (!keyAvailable(s)) return 0;
    InputEvent e = c.events.front();
    c.events.pop_front();
    if (e.kind == InputEvent::Kind::Key && e.keyDown) return keyCode(e, c.modifierReport != 0);
  }
}

bool readConsoleLine(State& s, std::string& line) {
  consoleFlush(s);
  flushFileWrites();
  ConsoleState& c = console(s);
  startInput(c);
  if (c.terminalInput.active() && c.terminal) return editLine(s, c, line);
  if (!c.terminalInput.active()) return readRawLine(c, line);
  // A terminal for input but not for output: the terminal's own line editing and echo.
  c.terminalInput.cooked();
  bool got;
  try {
    got = readRawLine(c, line);
  } catch (...) {
    c.terminalInput.raw();
    throw;
  }
  c.terminalInput.raw();
  c.screen.write(line, c.textAttribute);
  c.screen.write("\n", c.textAttribute);
  return got;
}

std::string printedNumber(double v) {
  if (v - std::trunc(v) == 0.0) {
    if (v > -2147483649.0 && v < 2147483648.0) return std::to_string(int32_t(v));
    return convert::formatFloatFixed(v, 16, 1);
  }
  return convert::formatFloatFixed(v, 9, 9);
}

std::string pageNumberText(double v, char decimalSeparator) {
  if (v - std::trunc(v) == 0.0 && v > -2147483649.0 && v < 2147483648.0)
    return std::to_string(int32_t(v));
  convert::FormatSettings settings;
  settings.decimalSeparator = decimalSeparator;
  return convert::floatToStr(v, settings);
}

}  // namespace tavrin
