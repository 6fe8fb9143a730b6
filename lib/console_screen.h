// The console's screen buffer: 80x25 cells in the CHAR_INFO layout (bits 0-7 the OEM
// character, 16-31 the attribute), the cursor and the title, and the way a console writes
// text into it (wrap at the last column, scroll at the bottom, CR, LF, BS, TAB, BEL).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

inline constexpr int kScreenColumns = 80;
inline constexpr int kScreenRows = 25;
inline constexpr int kScreenCells = kScreenColumns * kScreenRows;

inline constexpr uint32_t makeCell(uint8_t ch, uint16_t attribute) {
  return uint32_t(ch) | (uint32_t(attribute) << 16);
}
inline constexpr uint8_t cellChar(uint32_t cell) { return uint8_t(cell & 0xFF); }
inline constexpr uint16_t cellAttribute(uint32_t cell) { return uint16_t(cell >> 16); }

inline constexpr uint16_t kDefaultAttribute = 7;  // light grey on black

class ScreenBuffer {
 public:
  ScreenBuffer();

  // Writes text at the cursor the way the console's processed output does; new cells and
  // the rows scrolled in take `attribute`.
  void write(std::string_view text, uint16_t attribute);

  uint32_t cell(int index) const { return m_cells[size_t(index)]; }
  void setCell(int index, uint32_t value);
  const std::array<uint32_t, kScreenCells>& cells() const { return m_cells; }
  void fill(uint32_t value);

  int cursorX() const { return m_cursorX; }
  int cursorY() const { return m_cursorY; }
  // Ignored outside the buffer, as the console refuses such a position.
  void setCursor(int x, int y);
  int cursorSize() const { return m_cursorSize; }
  bool cursorVisible() const { return m_cursorVisible; }
  void setCursorInfo(int size, bool visible);

  const std::string& title() const { return m_title; }
  void setTitle(std::string_view title) { m_title.assign(title); }

  // What changed since the renderer last looked: rows (bit r), whole-screen scrolls, bells.
  uint32_t dirtyRows() const { return m_dirtyRows; }
  int scrolledLines() const { return m_scrolled; }
  int bells() const { return m_bells; }
  void clearChanges() {
    m_dirtyRows = 0;
    m_scrolled = 0;
    m_bells = 0;
  }

 private:
  void lineFeed(uint16_t attribute);
  void put(uint8_t ch, uint16_t attribute);

  std::array<uint32_t, kScreenCells> m_cells;
  int m_cursorX = 0, m_cursorY = 0;
  int m_cursorSize = 25;
  bool m_cursorVisible = true;
  std::string m_title;
  uint32_t m_dirtyRows = 0;
  int m_scrolled = 0;
  int m_bells = 0;
};

}  // namespace tavrin
