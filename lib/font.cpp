// Fonts: the font object's properties and the list of installed screen fonts.
#include "lib/font.h"

#include <cstdio>

#include <algorithm>

#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

int32_t Font::handle() {
  static int32_t next = 0x0A000010;  // handles look like the platform's: small, non-zero, distinct
  if (!m_handle) {
    m_handle = next;
    next += 4;
  }
  return m_handle;
}

const std::vector<std::string>& screenFonts(State& s) {
  ObjectState& os = objectState(s);
  if (os.screenFontsRead) return os.screenFonts;
  os.screenFontsRead = true;
  if (s.sandbox) return os.screenFonts;
  FILE* p = ::popen("fc-list : family 2>/dev/null", "r");
  if (!p) return os.screenFonts;
  char line[1024];
  while (std::fgets(line, sizeof line, p)) {
    std::string family(line);
    size_t end = family.find_first_of(",\n");  // the first of a family's names
    family.resize(end == std::string::npos ? family.size() : end);
    if (!family.empty()) os.screenFonts.push_back(family);
  }
  ::pclose(p);
  std::sort(os.screenFonts.begin(), os.screenFonts.end());
  os.screenFonts.erase(std::unique(os.screenFonts.begin(), os.screenFonts.end()), os.screenFonts.end());
  return os.screenFonts;
}

namespace {

Font& fontOf(MemberCall& c) {
  Font* f = c.object().font();
  if (!f) raise(ErrorNumber::InvalidPointer, std::string(kObjectTypes[c.type].name) + " has no font");
  return *f;
}

void setStyle(MemberCall& c, uint8_t bit, bool on) {
  Font& f = fontOf(c);
  f.styles = on ? uint8_t(f.styles | bit) : uint8_t(f.styles & ~bit);
  f.changed();
}

// A set member 0..3 names a style; other members are not styles and change nothing.
uint8_t styleBit(int32_t member) { return member >= 0 && member < 4 ? uint8_t(1u << member) : 0; }

}  // namespace

void fontSetColor(MemberCall& c) { fontOf(c).color = c.num[0]; fontOf(c).changed(); }
void fontSetName(MemberCall& c) { fontOf(c).name = c.text[0]; fontOf(c).changed(); }
void fontSetSize(MemberCall& c) { fontOf(c).size = c.num[0]; fontOf(c).changed(); }
void fontAddStyle(MemberCall& c) { setStyle(c, styleBit(c.itemInt()), true); }
void fontRemoveStyle(MemberCall& c) { setStyle(c, styleBit(c.itemInt()), false); }
void fontSetHandle(MemberCall& c) { fontOf(c).setHandle(c.num[0]); }
void fontSetCharset(MemberCall& c) { fontOf(c).charset = c.num[0] & 0xFF; fontOf(c).changed(); }
void fontSetPitch(MemberCall& c) { fontOf(c).pitch = c.num[0]; fontOf(c).changed(); }
void fontSetBold(MemberCall& c) { setStyle(c, Font::Bold, c.num[0] != 0); }
void fontSetItalic(MemberCall& c) { setStyle(c, Font::Italic, c.num[0] != 0); }
void fontSetUnderline(MemberCall& c) { setStyle(c, Font::Underline, c.num[0] != 0); }
void fontSetStrikeOut(MemberCall& c) { setStyle(c, Font::StrikeOut, c.num[0] != 0); }

void fontColor(MemberCall& c) { c.pushNumber(fontOf(c).color); }
void fontName(MemberCall& c) { c.pushText(fontOf(c).name); }
void fontSize(MemberCall& c) { c.pushNumber(fontOf(c).size); }
void fontScreenCount(MemberCall& c) { c.pushNumber(double(screenFonts(c.s).size())); }
void fontScreenName(MemberCall& c) {
  const auto& fonts = screenFonts(c.s);
  const int64_t n = c.num[0];
  if (n < 0 || n >= int64_t(fonts.size()))
    raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(n) + ")");
  c.pushText(fonts[size_t(n)]);
}
void fontHandle(MemberCall& c) { c.pushNumber(fontOf(c).handle()); }
void fontCharset(MemberCall& c) { c.pushNumber(fontOf(c).charset); }
void fontPitch(MemberCall& c) { c.pushNumber(fontOf(c).pitch); }
void fontBold(MemberCall& c) { c.pushNumber((fontOf(c).styles & Font::Bold) ? 1 : 0); }
void fontItalic(MemberCall& c) { c.pushNumber((fontOf(c).styles & Font::Italic) ? 1 : 0); }
void fontUnderline(MemberCall& c) { c.pushNumber((fontOf(c).styles & Font::Underline) ? 1 : 0); }
void fontStrikeOut(MemberCall& c) { c.pushNumber((fontOf(c).styles & Font::StrikeOut) ? 1 : 0); }

}  // namespace tavrin
