// VT rendering of the screen buffer, raw terminal input, and the restore that every way
// out runs. Hazards: restoreTerminal() runs inside signal handlers, so it and everything it
// calls use only write(), tcsetattr() and fixed buffers.
#include "lib/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lib/cp437.h"

namespace tavrin {

namespace {

constexpr uint32_t kUnknownCell = 0xFFFFFFFFu;
constexpr size_t kRenderBuffer = 64 * 1024;
constexpr int kMaxBellsPerRender = 3;
// Push the title, the alternate screen, no automatic wrap (the buffer wraps by itself).
constexpr const char* kEnterScreen = "\x1b[22;0t\x1b[?1049h\x1b[?7l";
constexpr const char* kEnterLines = "\x1b[22;0t\x1b[?7l";

bool lowerContains(const char* text, const char* word) {
  std::string t(text);
  for (char& c : t) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return t.find(word) != std::string::npos;
}

void putGlyph(TermWriter& out, uint8_t ch, bool utf8) {
  if (utf8) {
    char bytes[4];
    out.put(bytes, cp437::glyphUtf8(ch, bytes));
  } else {
    out.put(ch >= 0x20 && ch < 0x7F ? char(ch) : ch == 0 ? ' ' : '?');
  }
}

constexpr uint16_t kReverse = 0x4000, kUnderscore = 0x8000;

// A cell that shows nothing on a black background: a blank without a background colour,
// reverse video or underscore.
bool isBlank(uint32_t cell) {
  uint8_t ch = cellChar(cell);
  return (ch == ' ' || ch == 0) && (cellAttribute(cell) & (0xF0 | kReverse | kUnderscore)) == 0;
}

// A cell with something to read: a character, or a blank drawn visibly (reverse video,
// underscore). A coloured background alone is no text.
bool holdsText(uint32_t cell) {
  uint8_t ch = cellChar(cell);
  return (ch != ' ' && ch != 0) || (cellAttribute(cell) & (kReverse | kUnderscore));
}

// The last screen, written as lines of text with their colours, for the normal screen: up
// to the last row that holds text or the cursor, so that a full-colour screen whose lower
// rows are empty does not push its text out of an 80x25 terminal.
void writeScreenDump(TermWriter& out, const ScreenBuffer& screen, bool utf8) {
  int lastRow = screen.cursorVisible() ? screen.cursorY() : -1;
  for (int i = kScreenCells - 1; i / kScreenColumns > lastRow; --i)
    if (holdsText(screen.cell(i))) {
      lastRow = i / kScreenColumns;
      break;
    }
  for (int r = 0; r <= lastRow; ++r) {
    int last = kScreenColumns - 1;
    while (last >= 0 && isBlank(screen.cell(r * kScreenColumns + last))) --last;
    int sgr = -1;
    for (int c = 0; c <= last; ++c) {
      uint32_t cell = screen.cell(r * kScreenColumns + c);
      if (int(cellAttribute(cell)) != sgr) {
        sgr = cellAttribute(cell);
        writeAttributeSgr(out, uint16_t(sgr));
      }
      putGlyph(out, cellChar(cell), utf8);
    }
    out.put("\x1b[0m\r\n");
  }
}

// The restore record; written by the main thread while no signal can need it half-done
// (each field is complete before its `active` flag is set).
struct RestoreRecord {
  const ScreenBuffer* screen = nullptr;
  int outFd = -1;
  bool utf8 = true;
  bool full = true;
  volatile sig_atomic_t screenActive = 0;
  int inFd = -1;
  termios saved{};
  volatile sig_atomic_t inputActive = 0;
};
RestoreRecord g_restore;
volatile sig_atomic_t g_resized = 0;
char g_restoreBuffer[32 * 1024];

}  // namespace

bool terminalIsUtf8() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return lowerContains(value, "utf-8") || lowerContains(value, "utf8");
  }
  return true;
}

bool isVtTerminal(int fd) {
  if (!isatty(fd)) return false;
  const char* term = std::getenv("TERM");
  return term && *term && std::strcmp(term, "dumb") != 0;
}

void TermWriter::put(const char* data, size_t n) {
  while (n) {
    if (m_length == m_capacity && !flush()) return;
    size_t room = m_capacity - m_length;
    size_t take = n < room ? n : room;
    std::memcpy(m_buffer + m_length, data, take);
    m_length += take;
    data += take;
    n -= take;
  }
}

void TermWriter::put(const char* text) { put(text, std::strlen(text)); }

void TermWriter::putNumber(unsigned v) {
  char digits[12];
  int n = 0;
  do digits[n++] = char('0' + v % 10);
  while ((v /= 10) != 0);
  while (n) put(digits[--n]);
}

bool TermWriter::flush() {
  size_t done = 0;
  while (done < m_length) {
    ssize_t n = ::write(m_fd, m_buffer + done, m_length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_failed = true;
      break;
    }
    done += size_t(n);
  }
  m_length = 0;
  return !m_failed;
}

void writeAttributeSgr(TermWriter& out, uint16_t attribute) {
  auto ansi = [](unsigned c) { return ((c & 1) << 2) | (c & 2) | ((c >> 2) & 1); };
  unsigned fg = attribute & 15, bg = (attribute >> 4) & 15;
  out.put("\x1b[0;");
  out.putNumber((fg & 8 ? 90 : 30) + ansi(fg));
  out.put(';');
  out.putNumber((bg & 8 ? 100 : 40) + ansi(bg));
  if (attribute & kReverse) out.put(";7");
  if (attribute & kUnderscore) out.put(";4");
  out.put('m');
}

TerminalScreen::TerminalScreen(int fd, bool utf8) : m_fd(fd), m_utf8(utf8), m_buffer(kRenderBuffer) {
  m_shown.fill(kUnknownCell);
}

void TerminalScreen::queryClip() {
  winsize ws{};
  int columns = kScreenColumns, rows = kScreenRows;
  if (ioctl(m_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col && ws.ws_row) {
    columns = ws.ws_col;
    rows = ws.ws_row;
  }
  m_clipColumns = columns < kScreenColumns ? columns : kScreenColumns;
  m_clipRows = rows < kScreenRows ? rows : kScreenRows;
}

void TerminalScreen::moveTo(TermWriter& out, int x, int y) {
  if (x == m_termX && y == m_termY) return;
  if (!m_full) {
    if (y < m_termY) {
      out.put("\x1b[");
      out.putNumber(unsigned(m_termY - y));
      out.put('A');
    }
    for (; m_termY < y; ++m_termY) {
      out.put("\r\n");
      m_termX = 0;
    }
    m_termY = y;
    if (x != m_termX) {
      out.put('\r');
      if (x > 0) {
        out.put("\x1b[");
        out.putNumber(unsigned(x));
        out.put('C');
      }
    }
    m_termX = x;
    return;
  }
  out.put("\x1b[");
  out.putNumber(unsigned(y + 1));
  out.put(';');
  out.putNumber(unsigned(x + 1));
  out.put('H');
  m_termX = x;
  m_termY = y;
}

void TerminalScreen::redrawAll(TermWriter& out) {
  // Scrolling region = the rows shown, so that a line feed at its bottom scrolls them.
  out.put("\x1b[0m\x1b[1;");
  out.putNumber(unsigned(m_clipRows));
  out.put("r\x1b[2J");
  m_shown.fill(kUnknownCell);
  m_sgr = -1;
  m_termX = m_termY = -1;
}

// The terminal shows, from its cursor's row down, what the buffer shows from its cursor's
// row: blank rows, since nothing has been drawn there yet.
void TerminalScreen::startLines(const ScreenBuffer& screen) {
  queryClip();
  m_lineTop = screen.cursorY();
  std::copy(screen.cells().begin(), screen.cells().end(), m_shown.begin());
  m_termY = screen.cursorY();
  m_termX = -1;
  m_sgr = -1;
}

bool TerminalScreen::begin(ScreenBuffer& screen, bool full) {
  TermWriter out(m_fd, m_buffer.data(), m_buffer.size());
  m_full = full;
  out.put(full ? kEnterScreen : kEnterLines);
  if (!out.flush()) return false;
  if (!full) startLines(screen);
  registerTerminalScreen(&screen, m_fd, m_utf8, full);
  return render(screen);
}

bool TerminalScreen::needFull(ScreenBuffer& screen) {
  if (m_full) return true;
  // What the lines show so far stays on the normal screen, in its scrollback.
  TermWriter out(m_fd, m_buffer.data(), m_buffer.size());
  renderLines(out, screen);
  out.put(m_termX == 0 ? "\x1b[0m\x1b[?1049h" : "\x1b[0m\r\n\x1b[?1049h");
  if (!out.flush()) return false;
  m_full = true;
  m_firstFrame = true;
  m_cursorShown = m_shapeShown = -1;
  registerTerminalScreen(&screen, m_fd, m_utf8, true);
  return render(screen);
}

void TerminalScreen::drawCell(TermWriter& out, ScreenBuffer& screen, int c, int r) {
  size_t i = size_t(r * kScreenColumns + c);
  uint32_t cell = screen.cell(int(i));
  moveTo(out, c, r);
  if (int(cellAttribute(cell)) != m_sgr) {
    m_sgr = cellAttribute(cell);
    writeAttributeSgr(out, uint16_t(m_sgr));
  }
  putGlyph(out, cellChar(cell), m_utf8);
  m_shown[i] = cell;
  m_termX = c + 1 < m_clipColumns ? c + 1 : -1;  // no wrap: the last column keeps it
}

// Lines: the cursor moves up (CUU) and across (CR, CUF) within the rows the program's
// output has reached; down by line feeds, which scroll the terminal at its bottom as they
// scroll the buffer. Rows above the terminal's top are out of reach and stay as they were.
void TerminalScreen::renderLines(TermWriter& out, ScreenBuffer& screen) {
  if (g_resized) {
    g_resized = 0;
    queryClip();
  }
  int scrolled = screen.scrolledLines();
  if (scrolled > 0) {
    // The terminal's rows move with the buffer's: the same line feeds scroll both.
    int k = scrolled < kScreenRows ? scrolled : kScreenRows;
    std::memmove(m_shown.data(), m_shown.data() + size_t(k) * kScreenColumns,
                 size_t(kScreenRows - k) * kScreenColumns * sizeof(uint32_t));
    std::fill(m_shown.end() - long(k) * kScreenColumns, m_shown.end(), makeCell(' ', kDefaultAttribute));
    m_termY -= scrolled;
    m_lineTop = std::max(0, m_lineTop - scrolled);
  }
  int reach = m_termY - (m_clipRows - 1);  // the highest buffer row still on the terminal
  const uint32_t dirty = scrolled ? ~0u : screen.dirtyRows();
  for (int r = std::max(m_lineTop, reach); r < kScreenRows; ++r) {
    if (!(dirty & (1u << r))) continue;
    for (int c = 0; c < m_clipColumns; ++c) {
      uint32_t cell = screen.cell(r * kScreenColumns + c);
      if (cell != m_shown[size_t(r * kScreenColumns + c)]) drawCell(out, screen, c, r);
    }
  }
  int x = screen.cursorX(), y = screen.cursorY();
  if (x < m_clipColumns) moveTo(out, x, y);
}

bool TerminalScreen::render(ScreenBuffer& screen) {
  TermWriter out(m_fd, m_buffer.data(), m_buffer.size());
  if (!m_full) {
    renderLines(out, screen);
    int bells = screen.bells() + m_pendingBells;
    m_pendingBells = 0;
    for (int i = 0; i < bells && i < kMaxBellsPerRender; ++i) out.put('\a');
    int visible = screen.cursorVisible() ? 1 : 0;
    if (visible != m_cursorShown) {
      out.put(visible ? "\x1b[?25h" : "\x1b[?25l");
      m_cursorShown = visible;
    }
    if (screen.title() != m_titleShown) {
      m_titleShown = screen.title();
      out.put("\x1b]0;");
      for (char c : m_titleShown) putGlyph(out, uint8_t(c), m_utf8);
      out.put('\a');
    }
    screen.clearChanges();
    return out.flush();
  }
  bool all = false;
  if (g_resized || m_firstFrame) {
    g_resized = 0;
    m_firstFrame = false;
    queryClip();
    redrawAll(out);
    all = true;
  }
  int scrolled = screen.scrolledLines();
  if (!all && scrolled > 0) {
    if (scrolled < m_clipRows) {
      // Let the terminal move the rows, then draw only what differs.
      moveTo(out, 0, m_clipRows - 1);
      for (int i = 0; i < scrolled; ++i) out.put('\n');
      m_termX = m_termY = -1;
      size_t kept = size_t(m_clipRows - scrolled) * kScreenColumns;
      std::memmove(m_shown.data(), m_shown.data() + size_t(scrolled) * kScreenColumns,
                   kept * sizeof(uint32_t));
      std::fill(m_shown.begin() + long(kept), m_shown.end(), kUnknownCell);
    } else {
      m_shown.fill(kUnknownCell);
    }
  }
  uint32_t dirty = all || scrolled ? ~0u : screen.dirtyRows();
  for (int r = 0; r < m_clipRows; ++r) {
    if (!(dirty & (1u << r))) continue;
    for (int c = 0; c < m_clipColumns; ++c)
      if (screen.cell(r * kScreenColumns + c) != m_shown[size_t(r * kScreenColumns + c)]) drawCell(out, screen, c, r);
  }
  int bells = screen.bells() + m_pendingBells;
  m_pendingBells = 0;
  for (int i = 0; i < bells && i < kMaxBellsPerRender; ++i) out.put('\a');

  int x = screen.cursorX(), y = screen.cursorY();
  bool inside = x < m_clipColumns && y < m_clipRows;
  if (inside) moveTo(out, x, y);
  int visible = inside && screen.cursorVisible() ? 1 : 0;
  if (visible != m_cursorShown) {
    out.put(visible ? "\x1b[?25h" : "\x1b[?25l");
    m_cursorShown = visible;
  }
  int shape = screen.cursorSize() > 50 ? 1 : 3;  // blinking block, blinking underline
  if (shape != m_shapeShown) {
    out.put("\x1b[");
    out.putNumber(unsigned(shape));
    out.put(" q");
    m_shapeShown = shape;
  }
  if (screen.title() != m_titleShown) {
    m_titleShown = screen.title();
    out.put("\x1b]0;");
    for (char c : m_titleShown) putGlyph(out, uint8_t(c), m_utf8);  // glyphs: no control byte
    out.put('\a');
  }
  screen.clearChanges();
  return out.flush();
}

bool TerminalInput::enterRaw(int fd) {
  if (tcgetattr(fd, &m_saved) != 0) return false;
  m_fd = fd;
  m_raw = m_saved;
  m_raw.c_lflag &= tcflag_t(~(ICANON | ECHO | ECHONL | IEXTEN));
  m_raw.c_iflag &= tcflag_t(~(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK));
  m_raw.c_cc[VMIN] = 1;
  m_raw.c_cc[VTIME] = 0;
  m_raw.c_cc[VSUSP] = _POSIX_VDISABLE;
  m_raw.c_cc[VQUIT] = _POSIX_VDISABLE;
  registerTerminalInput(fd, m_saved);
  if (tcsetattr(fd, TCSANOW, &m_raw) != 0) return false;
  tcflush(fd, TCIFLUSH);  // the console starts with an empty input buffer
  m_active = true;
  return true;
}

void TerminalInput::cooked() {
  if (m_active) tcsetattr(m_fd, TCSANOW, &m_saved);
}

void TerminalInput::raw() {
  if (m_active) tcsetattr(m_fd, TCSANOW, &m_raw);
}

void registerTerminalScreen(const ScreenBuffer* screen, int fd, bool utf8, bool full) {
  g_restore.screenActive = 0;
  g_restore.screen = screen;
  g_restore.outFd = fd;
  g_restore.utf8 = utf8;
  g_restore.full = full;
  g_restore.screenActive = 1;
}

void registerTerminalInput(int fd, const termios& saved) {
  g_restore.inFd = fd;
  g_restore.saved = saved;
  g_restore.inputActive = 1;
}

namespace {

// Back to the normal screen with the last screen written on it; lines are there already
// and only get the terminal's colours, cursor and wrapping back.
void leaveScreen(TermWriter& out, const ScreenBuffer& screen, bool utf8, bool full) {
  if (!full) {
    out.put("\x1b[0m\x1b[0 q\x1b[?25h\x1b[?7h\x1b[23;0t");
    return;
  }
  out.put("\x1b[0m\x1b[r\x1b[0 q\x1b[?25h\x1b[?7h\x1b[?1049l\x1b[23;0t");
  writeScreenDump(out, screen, utf8);
}

}  // namespace

bool TerminalScreen::suspend(ScreenBuffer& screen) {
  bool ok = render(screen);
  g_restore.screenActive = 0;
  TermWriter out(m_fd, m_buffer.data(), m_buffer.size());
  leaveScreen(out, screen, m_utf8, m_full);
  return out.flush() && ok;
}

bool TerminalScreen::resume(ScreenBuffer& screen) {
  TermWriter out(m_fd, m_buffer.data(), m_buffer.size());
  out.put(m_full ? kEnterScreen : kEnterLines);
  if (!out.flush()) return false;
  registerTerminalScreen(&screen, m_fd, m_utf8, m_full);
  if (!m_full) {
    // the other program has written below: the lines go on from the cursor's row
    startLines(screen);
    m_cursorShown = m_shapeShown = -1;
    m_titleShown.clear();
    return render(screen);
  }
  m_firstFrame = true;
  m_cursorShown = m_shapeShown = -1;
  m_titleShown.clear();
  return render(screen);
}

void restoreTerminal() {
  if (g_restore.screenActive) {
    g_restore.screenActive = 0;
    TermWriter out(g_restore.outFd, g_restoreBuffer, sizeof g_restoreBuffer);
    leaveScreen(out, *g_restore.screen, g_restore.utf8, g_restore.full);
    out.flush();
  }
  if (g_restore.inputActive) {
    g_restore.inputActive = 0;
    tcsetattr(g_restore.inFd, TCSANOW, &g_restore.saved);
  }
}

void noteTerminalResized() { g_resized = 1; }

}  // namespace tavrin
