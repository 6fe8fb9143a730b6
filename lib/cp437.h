// Code page 437, the console's OEM character set: each byte's Unicode character, as the
// screen shows it (0x00-0x1F and 0x7F as their glyphs), and UTF-8 both ways.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tavrin::cp437 {

// The Unicode code point a screen cell with this character shows (0 shows a blank).
char32_t toUnicode(uint8_t ch);

// The byte whose glyph is `c`, or -1. ASCII 0x20-0x7E map to themselves; 0x01-0x1F and 0x7F
// are found only when `withGlyphs` is set (typed text never yields control bytes).
int fromUnicode(char32_t c, bool withGlyphs = false);

// Writes the UTF-8 form of one screen character into out (at least 4 bytes); returns the
// number of bytes.
size_t glyphUtf8(uint8_t ch, char* out);

}  // namespace tavrin::cp437
