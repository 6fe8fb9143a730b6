// The screen buffer and the console's processed output.
#include "lib/console_screen.h"

#include <algorithm>
#include <cstring>

namespace tavrin {

namespace {
constexpr uint32_t kAllRows = (1u << kScreenRows) - 1;
constexpr int kTabWidth = 8;
}  // namespace

ScreenBuffer::ScreenBuffer() { m_cells.fill(makeCell(' ', kDefaultAttribute)); }

void ScreenBuffer::setCell(int index, uint32_t value) {
  if (index < 0 || index >= kScreenCells) return;
  m_cells[size_t(index)] = value;
  m_dirtyRows |= 1u << (index / kScreenColumns);
}

void ScreenBuffer::fill(uint32_t value) {
  m_cells.fill(value);
  m_dirtyRows = kAllRows;
}

void ScreenBuffer::setCursor(int x, int y) {
  if (x < 0 || x >= kScreenColumns || y < 0 || y >= kScreenRows) return;
  m_cursorX = x;
  m_cursorY = y;
}

void ScreenBuffer::setCursorInfo(int size, bool visible) {
  m_cursorSize = size;
  m_cursorVisible = visible;
}

void ScreenBuffer::lineFeed(uint16_t attribute) {
  m_cursorX = 0;
  if (m_cursorY + 1 < kScreenRows) {
    ++m_cursorY;
    return;
  }
  std::memmove(m_cells.data(), m_cells.data() + kScreenColumns,
               sizeof(uint32_t) * (kScreenCells - kScreenColumns));
  std::fill(m_cells.end() - kScreenColumns, m_cells.end(), makeCell(' ', attribute));
  m_dirtyRows = kAllRows;
  ++m_scrolled;
}

void ScreenBuffer::put(uint8_t ch, uint16_t attribute) {
  m_cells[size_t(m_cursorY * kScreenColumns + m_cursorX)] = makeCell(ch, attribute);
  m_dirtyRows |= 1u << m_cursorY;
  if (++m_cursorX == kScreenColumns) lineFeed(attribute);
}

void ScreenBuffer::write(std::string_view text, uint16_t attribute) {
  for (char c : text) {
    uint8_t ch = uint8_t(c);
    switch (ch) {
      case '\a': ++m_bells; break;
      case '\b':
        if (m_cursorX > 0) {
          --m_cursorX;
        } else if (m_cursorY > 0) {  // back over the wrap to the previous row's end
          m_cursorX = kScreenColumns - 1;
          --m_cursorY;
        }
        break;
      case '\t':
        do put(' ', attribute);
        while (m_cursorX % kTabWidth != 0);
        break;
      case '\n': lineFeed(attribute); break;
      case '\r': m_cursorX = 0; break;
      default: put(ch, attribute); break;
    }
  }
}

}  // namespace tavrin
