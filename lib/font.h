// Fonts (otFont, and the font sub-object of the controls): name, size, colour, styles,
// charset, pitch and a handle; and the installed screen fonts, read from fontconfig when
// it is there.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ui/object_model.h"

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

class FontObject final : public Object {
public:
  FontObject() : Object(otFont) {}
  Font* font() override { return &value; }
  Font value;
};

// The installed screen font families in byte order, without repeats; empty when
// fontconfig's fc-list is not installed (or in the sandbox).
const std::vector<std::string>& screenFonts(State& s);

// Members of the font table (ui/props_font.def).
void fontSetColor(MemberCall& c);
void fontSetName(MemberCall& c);
void fontSetSize(MemberCall& c);
void fontAddStyle(MemberCall& c);
void fontRemoveStyle(MemberCall& c);
void fontSetHandle(MemberCall& c);
void fontSetCharset(MemberCall& c);
void fontSetPitch(MemberCall& c);
void fontSetBold(MemberCall& c);
void fontSetItalic(MemberCall& c);
void fontSetUnderline(MemberCall& c);
void fontSetStrikeOut(MemberCall& c);
void fontColor(MemberCall& c);
void fontName(MemberCall& c);
void fontSize(MemberCall& c);
void fontScreenCount(MemberCall& c);
void fontScreenName(MemberCall& c);
void fontHandle(MemberCall& c);
void fontCharset(MemberCall& c);
void fontPitch(MemberCall& c);
void fontBold(MemberCall& c);
void fontItalic(MemberCall& c);
void fontUnderline(MemberCall& c);
void fontStrikeOut(MemberCall& c);

}  // namespace tavrin
