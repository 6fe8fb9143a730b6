// The test terminal's parser and grid.
#include "tests/pty/vt_screen.h"

#include <algorithm>
#include <cstdlib>

namespace tavrin::pty {

VtScreen::VtScreen(int columns, int rows)
    : m_columns(columns), m_rows(rows), m_main(size_t(columns * rows)), m_alt(size_t(columns * rows)),
      m_bottom(rows - 1) {}

std::vector<int> VtScreen::params() const {
  std::vector<int> out;
  std::string digits;
  for (char c : m_sequence) {
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c == ';') {
      out.push_back(digits.empty() ? 0 : std::atoi(digits.c_str()));
      digits.clear();
    }
  }
  out.push_back(digits.empty() ? 0 : std::atoi(digits.c_str()));
  return out;
}

void VtScreen::erase(int from, int to) {
  for (int i = std::max(from, 0); i < std::min(to, m_columns * m_rows); ++i)
    active()[size_t(i)] = VtCell{U' ', -1, m_bg};
}

void VtScreen::scrollUp(int n) {
  auto& cells = active();
  for (int i = 0; i < n; ++i) {
    if (!m_alternate && m_top == 0) m_scrollback.push_back(rowText(0));
    for (int r = m_top; r < m_bottom; ++r)
      std::copy_n(cells.begin() + (r + 1) * m_columns, m_columns, cells.begin() + r * m_columns);
    for (int c = 0; c < m_columns; ++c) cells[size_t(m_bottom * m_columns + c)] = VtCell{U' ', -1, m_bg};
  }
}

void VtScreen::lineFeed() {
  m_pendingWrap = false;
  if (m_y == m_bottom)
    scrollUp(1);
  else if (m_y < m_rows - 1)
    ++m_y;
}

void VtScreen::print(char32_t c) {
  if (m_pendingWrap && m_autowrap) {
    m_x = 0;
    lineFeed();
  }
  m_pendingWrap = false;
  active()[size_t(m_y * m_columns + m_x)] = VtCell{c, m_fg, m_bg, m_reverse, m_underline};
  if (m_x + 1 < m_columns)
    ++m_x;
  else
    m_pendingWrap = true;
}

void VtScreen::csi(char final) {
  bool isPrivate = !m_sequence.empty() && m_sequence[0] == '?';
  bool space = m_sequence.find(' ') != std::string::npos;
  std::vector<int> p = params();
  int p0 = p[0];
  m_pendingWrap = false;
  switch (final) {
    case 'H': case 'f':
      m_y = std::clamp((p0 ? p0 : 1) - 1, 0, m_rows - 1);
      m_x = std::clamp((p.size() > 1 && p[1] ? p[1] : 1) - 1, 0, m_columns - 1);
      break;
    case 'A': m_y = std::max(m_y - std::max(p0, 1), 0); break;
    case 'B': m_y = std::min(m_y + std::max(p0, 1), m_rows - 1); break;
    case 'C': m_x = std::min(m_x + std::max(p0, 1), m_columns - 1); break;
    case 'D': m_x = std::max(m_x - std::max(p0, 1), 0); break;
    case 'J':
      if (p0 == 2 || p0 == 3) erase(0, m_columns * m_rows);
      else if (p0 == 0) erase(m_y * m_columns + m_x, m_columns * m_rows);
      break;
    case 'K': erase(m_y * m_columns + m_x, (m_y + 1) * m_columns); break;
    case 'S': scrollUp(std::max(p0, 1)); break;
    case 'r':
      m_top = (p0 ? p0 : 1) - 1;
      m_bottom = (p.size() > 1 && p[1] ? p[1] : m_rows) - 1;
      m_x = m_y = 0;
      break;
    case 'm':
      for (int v : p) {
        if (v == 0) m_fg = m_bg = -1, m_reverse = m_underline = false;
        else if (v == 7) m_reverse = true;
        else if (v == 27) m_reverse = false;
        else if (v == 4) m_underline = true;
        else if (v == 24) m_underline = false;
        else if (v >= 30 && v <= 37) m_fg = v - 30;
        else if (v >= 90 && v <= 97) m_fg = v - 90 + 8;
        else if (v >= 40 && v <= 47) m_bg = v - 40;
        else if (v >= 100 && v <= 107) m_bg = v - 100 + 8;
        else if (v == 39) m_fg = -1;
        else if (v == 49) m_bg = -1;
      }
      break;
    case 'h': case 'l':
      if (!isPrivate) break;
      for (int v : p) {
        bool on = final == 'h';
        if (v == 25) m_cursorVisible = on;
        if (v == 7) m_autowrap = on;
        if (v == 1049 && on != m_alternate) {
          if (on) {
            m_savedX = m_x;
            m_savedY = m_y;
            m_alternate = m_everAlternate = true;
            erase(0, m_columns * m_rows);
          } else {
            m_alternate = false;
            m_x = m_savedX;
            m_y = m_savedY;
          }
        }
      }
      break;
    default: (void)space; break;  // shapes, window ops: nothing to show
  }
}

void VtScreen::feed(std::string_view bytes) {
  for (char byte : bytes) {
    unsigned char b = static_cast<unsigned char>(byte);
    switch (m_mode) {
      case Mode::Escape:
        if (b == '[') { m_mode = Mode::Csi; m_sequence.clear(); }
        else if (b == ']') { m_mode = Mode::Osc; m_sequence.clear(); }
        else m_mode = Mode::Ground;
        continue;
      case Mode::Csi:
        if (b >= 0x40 && b <= 0x7E) { csi(char(b)); m_mode = Mode::Ground; }
        else m_sequence.push_back(char(b));
        continue;
      case Mode::Osc:
      case Mode::OscEscape:
        if (b == 7 || (m_mode == Mode::OscEscape && b == '\\')) {
          if (m_sequence.rfind("0;", 0) == 0 || m_sequence.rfind("2;", 0) == 0) m_title = m_sequence.substr(2);
          m_mode = Mode::Ground;
        } else if (b == 0x1B) {
          m_mode = Mode::OscEscape;
        } else {
          m_sequence.push_back(char(b));
          m_mode = Mode::Osc;
        }
        continue;
      case Mode::Ground: break;
    }
    if (m_utf8Left) {
      m_utf8 = (m_utf8 << 6) | (b & 0x3F);
      if (--m_utf8Left == 0) print(m_utf8);
      continue;
    }
    switch (b) {
      case 0x1B: m_mode = Mode::Escape; break;
      case '\r': m_x = 0; m_pendingWrap = false; break;
      case '\n': lineFeed(); break;
      case '\b': if (m_x > 0) --m_x; m_pendingWrap = false; break;
      case '\a': ++m_bells; break;
      case '\t': m_x = std::min((m_x / 8 + 1) * 8, m_columns - 1); break;
      default:
        if (b >= 0xF0) { m_utf8 = b & 0x07; m_utf8Left = 3; }
        else if (b >= 0xE0) { m_utf8 = b & 0x0F; m_utf8Left = 2; }
        else if (b >= 0xC0) { m_utf8 = b & 0x1F; m_utf8Left = 1; }
        else if (b >= 0x20 && b < 0x7F) print(b);
        break;
    }
  }
}

std::string VtScreen::rowText(int row) const {
  std::string out;
  int last = m_columns - 1;
  while (last >= 0 && cell(last, row).ch == U' ') --last;
  for (int x = 0; x <= last; ++x) {
    char32_t c = cell(x, row).ch;
    if (c < 0x80) out.push_back(char(c));
    else if (c < 0x800) { out.push_back(char(0xC0 | (c >> 6))); out.push_back(char(0x80 | (c & 0x3F))); }
    else { out.push_back(char(0xE0 | (c >> 12))); out.push_back(char(0x80 | ((c >> 6) & 0x3F))); out.push_back(char(0x80 | (c & 0x3F))); }
  }
  return out;
}

std::string VtScreen::textWithScrollback() const {
  std::string out;
  for (const std::string& row : m_scrollback) out += row + "\n";
  return out + text();
}

std::string VtScreen::text() const {
  std::string out;
  for (int r = 0; r < m_rows; ++r) out += rowText(r) + "\n";
  return out;
}

}  // namespace tavrin::pty
