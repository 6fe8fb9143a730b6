// A small VT terminal for the pseudo-terminal tests: the sequences the console renderer
// and the error path write (cursor moves, erase, SGR colours, scrolling region, alternate
// screen, autowrap, cursor visibility and shape, title), on a grid of Unicode cells.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::pty {

struct VtCell {
  char32_t ch = U' ';
  int fg = -1;  // ANSI colour 0..15, -1 the default
  int bg = -1;
  bool reverse = false;    // SGR 7
  bool underline = false;  // SGR 4
};

class VtScreen {
 public:
  VtScreen(int columns, int rows);
  void feed(std::string_view bytes);

  std::string rowText(int row) const;  // UTF-8, trailing blanks removed
  std::string text() const;            // all rows, one line each
  // The normal screen's rows that scrolled off its top, oldest first, then text().
  std::string textWithScrollback() const;
  size_t scrollbackRows() const { return m_scrollback.size(); }
  bool everAlternate() const { return m_everAlternate; }
  const VtCell& cell(int x, int y) const { return active()[size_t(y * m_columns + x)]; }
  bool alternate() const { return m_alternate; }
  bool cursorVisible() const { return m_cursorVisible; }
  int cursorX() const { return m_x; }
  int cursorY() const { return m_y; }
  const std::string& title() const { return m_title; }
  int bells() const { return m_bells; }

 private:
  std::vector<VtCell>& active() { return m_alternate ? m_alt : m_main; }
  const std::vector<VtCell>& active() const { return m_alternate ? m_alt : m_main; }
  void print(char32_t c);
  void lineFeed();
  void scrollUp(int n);
  void csi(char final);
  void erase(int from, int to);
  std::vector<int> params() const;

  int m_columns, m_rows;
  std::vector<VtCell> m_main, m_alt;
  bool m_alternate = false, m_everAlternate = false;
  std::vector<std::string> m_scrollback;
  bool m_reverse = false, m_underline = false;
  int m_x = 0, m_y = 0, m_savedX = 0, m_savedY = 0;
  int m_top = 0, m_bottom;
  bool m_autowrap = true, m_pendingWrap = false;
  bool m_cursorVisible = true;
  int m_fg = -1, m_bg = -1;
  std::string m_title;
  int m_bells = 0;

  enum class Mode { Ground, Escape, Csi, Osc, OscEscape } m_mode = Mode::Ground;
  std::string m_sequence;
  char32_t m_utf8 = 0;
  int m_utf8Left = 0;
};

}  // namespace tavrin::pty
