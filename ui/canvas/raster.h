// The canvas rasteriser: 32-bit pixel buffers and the drawing primitives of every canvas,
// with no Qt. Rectangles and ellipses are half-open boxes [x1,x2) x [y1,y2) with normalised
// corners; a line leaves out its end pixel. Every primitive clips to the buffer, so any
// coordinates (however far outside) touch only the buffer's own pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace tavrin::canvas {

// A program colour is 0x00BBGGRR; with the high bit set it is a system colour whose index
// is the low byte. A buffer pixel is 0xFFRRGGBB (what a 32-bit RGB image holds).
using Colour = std::uint32_t;
using Pixel = std::uint32_t;

// The fixed system palette (classic scheme), indexed by the low byte of a system colour;
// an index past it resolves to black.
Colour systemColour(unsigned index);
// Keeps the low 32 bits of a colour operand and resolves a system colour.
Colour resolveColour(std::int64_t operand);
Pixel toPixel(Colour rgb);     // 0x00BBGGRR -> 0xFFRRGGBB (resolves system colours)
Colour fromPixel(Pixel pixel); // 0xFFRRGGBB -> 0x00BBGGRR

enum class PenStyle : std::uint8_t { Solid, Clear };
enum class BrushStyle : std::uint8_t { Solid, Clear };
enum class FillStyle : std::uint8_t { Border, Surface };

// Raster operations of copies: the ternary code of a CopyMode value (bits 16..23), applied
// to pattern (the brush colour), source and destination bit by bit.
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;
inline constexpr std::uint32_t kSrcPaint = 0x00EE0086;
inline constexpr std::uint32_t kSrcAnd = 0x008800C6;
inline constexpr std::uint32_t kSrcInvert = 0x00660046;
inline constexpr std::uint32_t kNotSrcCopy = 0x00330008;
inline constexpr std::uint32_t kDstInvert = 0x00550009;
inline constexpr std::uint32_t kBlackness = 0x00000042;
inline constexpr std::uint32_t kWhiteness = 0x00FF0062;
Pixel applyRop(std::uint32_t rop, Pixel pattern, Pixel source, Pixel dest);

struct Rect {
  std::int64_t x1, y1, x2, y2;
};

class Raster {
public:
  Raster() = default;
  Raster(int width, int height, Pixel fill = 0xFFFFFFFF);

  int width() const { return m_width; }
  int height() const { return m_height; }
  Pixel* data() { return m_pixels.data(); }
  const Pixel* data() const { return m_pixels.data(); }
  // Resizes keeping the overlapping pixels; new pixels get fill.
  void resize(int width, int height, Pixel fill = 0xFFFFFFFF);
  void clear(Pixel fill);

  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= 0 && y >= 0 && x < m_width && y < m_height;
  }
  // A pixel outside the buffer reads as -1 (as a program sees it) and ignores writes.
  void setPixel(std::int64_t x, std::int64_t y, Pixel p) {
    if (contains(x, y)) m_pixels[static_cast<std::size_t>(y * m_width + x)] = p;
  }
  std::int64_t getPixel(std::int64_t x, std::int64_t y) const {
    if (!contains(x, y)) return -1;
    return m_pixels[static_cast<std::size_t>(y * m_width + x)];
  }

  // Drawing state the operations use.
  Pixel penColour = 0xFF000000;
  PenStyle penStyle = PenStyle::Solid;
  Pixel brushColour = 0xFFFFFFFF;
  BrushStyle brushStyle = BrushStyle::Solid;
  std::uint32_t copyMode = kSrcCopy;

  // Pen line from (x0,y0) toward (x1,y1), leaving out (x1,y1).
  void lineTo(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);
  void fillRect(Rect r);  // brush colour, whatever the brush style
  void frameRect(Rect r); // one-pixel frame in the brush colour
  void ellipse(Rect r);   // pen outline, brush fill unless the brush is clear
  void roundRect(Rect r, std::int64_t cornerWidth, std::int64_t cornerHeight);
  // Fills with the brush colour from (x,y): Surface fills the 4-connected region of colour
  // `colour`; Border fills up to pixels of colour `colour`.
  void floodFill(std::int64_t x, std::int64_t y, Pixel colour, FillStyle style);
  // Copies src's rectangle onto this buffer's rectangle through copyMode, stretching by
  // nearest neighbour when the sizes differ. src may be *this.
  void copyRect(Rect dest, const Raster& src, Rect source);

private:
  void hspan(std::int64_t x1, std::int64_t x2, std::int64_t y, Pixel p); // [x1,x2)
  int m_width = 0;
  int m_height = 0;
  std::vector<Pixel> m_pixels;
};

Rect normalised(Rect r);

} // namespace tavrin::canvas
