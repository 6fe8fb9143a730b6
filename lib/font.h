// Fonts: name, size, colour, styles, charset, pitch and a handle; and the installed
// screen fonts, read from fontconfig when it is there. The object side is ui/types/font.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class Font {
public:
  enum Style : uint8_t { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };  // bit of member n: 1 << n

  // The framework's defaults: clWindowText, "MS Sans Serif", 8 points, DEFAULT_CHARSET.
  int32_t color = int32_t(0x80000008u);
  std::string name = "MS Sans Serif";
  int32_t size = 8;
  uint8_t styles = 0;
  int32_t charset = 1;
  int32_t pitch = 0;

  // The handle is made when it is first asked for and dropped when the font changes.
  int32_t handle();
  void setHandle(int32_t h) { m_handle = h; }
  void changed() { m_handle = 0; }

private:
  int32_t m_handle = 0;
};

// The installed screen font families in byte order, without repeats, as fontconfig's
// fc-list gives them; empty when it is not installed.
std::vector<std::string> readScreenFonts();

}  // namespace tavrin
