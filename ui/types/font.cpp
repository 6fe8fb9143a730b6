// The otFont binding: font objects, the font of every control that has one (ids
// 200..213), and the installed screen fonts, read once per run.
#include "lib/font.h"

#include "runtime/run_error.h"
#include "interp/state.h"
#include "ui/object_model.h"

namespace tavrin {

namespace {

class FontObject final : public Object {
public:
  FontObject() : Object(otFont) {}
  Font* font() override { return &m_font; }

private:
  Font m_font;
};

struct ScreenFonts final : TypeState {
  bool read = false;
  std::vector<std::string> names;
};

const std::vector<std::string>& screenFonts(State& s) {
  ScreenFonts& f = typeState<ScreenFonts>(s, otFont);
  if (!f.read) {
    f.read = true;
    if (!s.sandbox) f.names = readScreenFonts();
  }
  return f.names;
}

}  // namespace

template <>
Font& subject<Font>(MemberCall& c) {
  Font* f = c.object().font();
  if (!f) raise(ErrorNumber::InvalidPointer, std::string(kObjectTypes[c.type].name) + " has no font");
  return *f;
}

namespace {

void setStyle(Font& f, uint8_t bit, bool on) {
  f.styles = on ? uint8_t(f.styles | bit) : uint8_t(f.styles & ~bit);
  f.changed();
}

// A set member 0..3 names a style; other members are not styles and change nothing.
uint8_t styleBit(int32_t member) { return member >= 0 && member < 4 ? uint8_t(1u << member) : 0; }

void fontAddStyle(MemberCall& c, const Item& i) { setStyle(subject<Font>(c), styleBit(i.value), true); }
void fontRemoveStyle(MemberCall& c, const Item& i) { setStyle(subject<Font>(c), styleBit(i.value), false); }

void fontSetCharset(MemberCall& c, int32_t v) {
  Font& f = subject<Font>(c);
  f.charset = v & 0xFF;
  f.changed();
}

template <uint8_t Bit>
void fontSetStyle(MemberCall& c, bool on) {
  setStyle(subject<Font>(c), Bit, on);
}

template <uint8_t Bit>
int32_t fontStyle(MemberCall& c) {
  return (subject<Font>(c).styles & Bit) ? 1 : 0;
}

double fontScreenCount(MemberCall& c) { return double(screenFonts(c.s).size()); }

const std::string& fontScreenName(MemberCall& c, int32_t n) {
  const auto& fonts = screenFonts(c.s);
  if (n < 0 || n >= int64_t(fonts.size()))
    raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(n) + ")");
  return fonts[size_t(n)];
}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_font.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(font){kMembers, &makeObject<FontObject>, /*unlistedReadsZero=*/true};

}  // namespace tavrin
