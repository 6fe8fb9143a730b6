// The canvas rasteriser (see raster.h). Loops run over the clipped part of a primitive only,
// so their length is bounded by the buffer's size, never by the coordinates.
#include "ui/canvas/raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace tavrin::canvas {

namespace {

// Classic scheme, as 0x00BBGGRR, by system colour index.
constexpr std::array<Colour, 31> kSystemPalette = {
    0xC0C0C0, // 0 scroll bar
    0x808000, // 1 desktop
    0x800000, // 2 active caption
    0x808080, // 3 inactive caption
    0xC0C0C0, // 4 menu
    0xFFFFFF, // 5 window
    0x000000, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0xFFFFFF, // 9 caption text
    0xC0C0C0, // 10 active border
    0xC0C0C0, // 11 inactive border
    0x808080, // 12 application workspace
    0x800000, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xC0C0C0, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC0C0C0, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x000000, // 21 3D dark shadow
    0xC0C0C0, // 22 3D light
    0x000000, // 23 info text
    0xE1FFFF, // 24 info background
    0x000000, // 25 (unused)
    0xFF0000, // 26 hot light
    0xD08410, // 27 gradient active caption
    0xB5B5B5, // 28 gradient inactive caption
    0x800000, // 29 menu highlight
    0xC0C0C0, // 30 menu bar
};

std::int64_t clampTo(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

Colour systemColour(unsigned index) {
  return index < kSystemPalette.size() ? kSystemPalette[index] : 0;
}

Colour resolveColour(std::int64_t operand) {
  const auto c = static_cast<std::uint32_t>(operand);
  if (c & 0x80000000u) return systemColour(c & 0xFFu);
  return c & 0x00FFFFFFu;
}

Pixel toPixel(Colour rgb) {
  const Colour c = resolveColour(rgb);
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

Colour fromPixel(Pixel p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

Pixel applyRop(std::uint32_t rop, Pixel pattern, Pixel source, Pixel dest) {
  const unsigned code = (rop >> 16) & 0xFFu;
  std::uint32_t out = 0;
  // Bit i of the code is the result for pattern, source, dest bits (i>>2, i>>1, i) & 1.
  for (unsigned i = 0; i < 8; ++i) {
    if (!((code >> i) & 1u)) continue;
    const std::uint32_t p = (i & 4u) ? pattern : ~pattern;
    const std::uint32_t s = (i & 2u) ? source : ~source;
    const std::uint32_t d = (i & 1u) ? dest : ~dest;
    out |= p & s & d;
  }
  return 0xFF000000u | (out & 0x00FFFFFFu);
}

Rect normalised(Rect r) {
  if (r.x1 > r.x2) std::swap(r.x1, r.x2);
  if (r.y1 > r.y2) std::swap(r.y1, r.y2);
  return r;
}

Raster::Raster(int width, int height, Pixel fill) { resize(width, height, fill); }

void Raster::resize(int width, int height, Pixel fill) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  std::vector<Pixel> next(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
  const int w = std::min(width, m_width);
  const int h = std::min(height, m_height);
  for (int y = 0; y < h; ++y)
    std::copy_n(m_pixels.begin() + static_cast<std::ptrdiff_t>(y) * m_width, w,
                next.begin() + static_cast<std::ptrdiff_t>(y) * width);
  m_pixels = std::move(next);
  m_width = width;
  m_height = height;
}

void Raster::clear(Pixel fill) { std::fill(m_pixels.begin(), m_pixels.end(), fill); }

void Raster::hspan(std::int64_t x1, std::int64_t x2, std::int64_t y, Pixel p) {
  if (y < 0 || y >= m_height) return;
  x1 = clampTo(x1, 0, m_width);
  x2 = clampTo(x2, 0, m_width);
  if (x1 >= x2) return;
  Pixel* row = m_pixels.data() + y * m_width;
  std::fill(row + x1, row + x2, p);
}

void Raster::lineTo(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
  if (penStyle == PenStyle::Clear) return;
  const std::int64_t dx = x1 - x0, dy = y1 - y0;
  const std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const std::int64_t steps = xMajor ? adx : ady; // the end pixel is left out
  if (steps == 0) return;
  const std::int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const std::int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const std::int64_t minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const std::int64_t minorDelta = xMajor ? ady : adx;
  const std::int64_t majorLimit = xMajor ? m_width : m_height;
  // Steps i in [lo, hi) put the major coordinate inside the buffer.
  std::int64_t lo, hi;
  if (majorStep > 0) {
    lo = -major0;
    hi = majorLimit - major0;
  } else {
    lo = major0 - (majorLimit - 1);
    hi = major0 + 1;
  }
  lo = std::max<std::int64_t>(lo, 0);
  hi = std::min(hi, steps);
  for (std::int64_t i = lo; i < hi; ++i) {
    // Nearest minor coordinate, ties away from the start; long double keeps far lines exact
    // enough, and 128-bit-free arithmetic stays in range for 32-bit operands.
    const std::int64_t offset = static_cast<std::int64_t>(
        (static_cast<long double>(2 * i) * minorDelta + steps) / (2.0L * steps));
    const std::int64_t major = major0 + majorStep * i;
    const std::int64_t minor = minor0 + minorStep * offset;
    if (xMajor) setPixel(major, minor, penColour);
    else setPixel(minor, major, penColour);
  }
}

void Raster::fillRect(Rect r) {
  r = normalised(r);
  const std::int64_t y1 = clampTo(r.y1, 0, m_height), y2 = clampTo(r.y2, 0, m_height);
  for (std::int64_t y = y1; y < y2; ++y) hspan(r.x1, r.x2, y, brushColour);
}

void Raster::frameRect(Rect r) {
  r = normalised(r);
  if (r.x1 == r.x2 || r.y1 == r.y2) return;
  hspan(r.x1, r.x2, r.y1, brushColour);
  hspan(r.x1, r.x2, r.y2 - 1, brushColour);
  const std::int64_t y1 = clampTo(r.y1 + 1, 0, m_height), y2 = clampTo(r.y2 - 1, 0, m_height);
  for (std::int64_t y = y1; y < y2; ++y) {
    setPixel(r.x1, y, brushColour);
    setPixel(r.x2 - 1, y, brushColour);
  }
}

namespace {

// Left inset of row j of an ellipse filling a w x h box (0 <= j < h); row j and row h-1-j
// get the same inset, and the right end of a row is w-1-inset, so the shape has four-fold
// symmetry by construction.
std::int64_t ellipseInset(std::int64_t w, std::int64_t h, std::int64_t j) {
  if (w <= 2 || h <= 2) return 0;
  const long double a = (w - 1) / 2.0L, b = (h - 1) / 2.0L;
  const long double dy = j - b;
  const long double t = 1.0L - (dy / b) * (dy / b);
  const long double xs = a * std::sqrt(t > 0 ? t : 0.0L);
  std::int64_t inset = static_cast<std::int64_t>(std::floor(a - xs + 0.5L));
  return std::min(inset, (w - 1) / 2);
}

} // namespace

void Raster::roundRect(Rect r, std::int64_t cornerWidth, std::int64_t cornerHeight) {
  r = normalised(r);
  const std::int64_t w = r.x2 - r.x1, h = r.y2 - r.y1;
  if (w <= 0 || h <= 0) return;
  const std::int64_t ew = clampTo(cornerWidth, 0, w), eh = clampTo(cornerHeight, 0, h);
  auto inset = [&](std::int64_t j) -> std::int64_t {
    if (j < 0 || j >= h) return (w + 1) / 2; // beyond the box: no span
    if (ew <= 0 || eh <= 0) return 0;
    const std::int64_t half = eh / 2;
    if (j < half) return ellipseInset(ew, eh, j);
    if (j >= h - half) return ellipseInset(ew, eh, eh - 1 - (h - 1 - j));
    return 0;
  };
  // Only rows inside the buffer are visited.
  const std::int64_t j1 = clampTo(-r.y1, 0, h), j2 = clampTo(m_height - r.y1, 0, h);
  for (std::int64_t j = j1; j < j2; ++j) {
    const std::int64_t y = r.y1 + j;
    const std::int64_t in = inset(j);
    const std::int64_t left = r.x1 + in, right = r.x1 + w - 1 - in; // inclusive
    if (brushStyle == BrushStyle::Solid) hspan(left, right + 1, y, brushColour);
    if (penStyle == PenStyle::Clear) continue;
    // The outline reaches toward the narrower neighbour row so it stays connected.
    const std::int64_t reach = std::max(inset(j - 1), inset(j + 1));
    const std::int64_t edge = std::max(in, std::min(reach - 1, (w - 1) / 2));
    hspan(left, r.x1 + edge + 1, y, penColour);
    hspan(r.x1 + w - 1 - edge, right + 1, y, penColour);
  }
}

void Raster::ellipse(Rect r) {
  r = normalised(r);
  roundRect(r, r.x2 - r.x1, r.y2 - r.y1);
}

void Raster::floodFill(std::int64_t x, std::int64_t y, Pixel colour, FillStyle style) {
  if (!contains(x, y)) return;
  const Pixel fill = brushColour;
  const bool surface = style == FillStyle::Surface;
  if (surface && (m_pixels[static_cast<std::size_t>(y * m_width + x)] != colour || colour == fill))
    return;
  // Border mode marks what it filled, since the fill colour may match no stop colour.
  std::vector<std::uint8_t> done;
  if (!surface) done.assign(m_pixels.size(), 0);
  auto inside = [&](std::int64_t px, std::int64_t py) {
    const std::size_t k = static_cast<std::size_t>(py * m_width + px);
    return surface ? m_pixels[k] == colour : (m_pixels[k] != colour && !done[k]);
  };
  auto paint = [&](std::int64_t px, std::int64_t py) {
    const std::size_t k = static_cast<std::size_t>(py * m_width + px);
    m_pixels[k] = fill;
    if (!surface) done[k] = 1;
  };
  if (!inside(x, y)) return;
  std::vector<std::pair<std::int32_t, std::int32_t>> stack;
  stack.emplace_back(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
  while (!stack.empty()) {
    auto [sx, sy] = stack.back();
    stack.pop_back();
    if (!inside(sx, sy)) continue;
    std::int64_t l = sx, rr = sx;
    while (l > 0 && inside(l - 1, sy)) --l;
    while (rr + 1 < m_width && inside(rr + 1, sy)) ++rr;
    for (std::int64_t i = l; i <= rr; ++i) paint(i, sy);
    // One seed per run of fillable pixels on the rows above and below.
    for (const std::int64_t ny : {std::int64_t{sy} - 1, std::int64_t{sy} + 1}) {
      if (ny < 0 || ny >= m_height) continue;
      bool inRun = false;
      for (std::int64_t i = l; i <= rr; ++i) {
        const bool in = inside(i, ny);
        if (in && !inRun)
          stack.emplace_back(static_cast<std::int32_t>(i), static_cast<std::int32_t>(ny));
        inRun = in;
      }
    }
  }
}

void Raster::copyRect(Rect dest, const Raster& src, Rect source) {
  dest = normalised(dest);
  source = normalised(source);
  const std::int64_t dw = dest.x2 - dest.x1, dh = dest.y2 - dest.y1;
  const std::int64_t sw = source.x2 - source.x1, sh = source.y2 - source.y1;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  // Reading from a copy keeps an overlapping copy within one buffer correct.
  const Raster* from = &src;
  Raster snapshot;
  if (from == this) {
    snapshot = *this;
    from = &snapshot;
  }
  const std::int64_t x1 = clampTo(dest.x1, 0, m_width), x2 = clampTo(dest.x2, 0, m_width);
  const std::int64_t y1 = clampTo(dest.y1, 0, m_height), y2 = clampTo(dest.y2, 0, m_height);
  const bool plain = copyMode == kSrcCopy;
  for (std::int64_t y = y1; y < y2; ++y) {
    const std::int64_t sy = source.y1 + static_cast<std::int64_t>(
        static_cast<long double>(y - dest.y1) * sh / dh);
    for (std::int64_t x = x1; x < x2; ++x) {
      const std::int64_t sx = source.x1 + static_cast<std::int64_t>(
          static_cast<long double>(x - dest.x1) * sw / dw);
      if (!from->contains(sx, sy)) continue;
      const Pixel s = static_cast<Pixel>(from->getPixel(sx, sy));
      Pixel& d = m_pixels[static_cast<std::size_t>(y * m_width + x)];
      d = plain ? s : applyRop(copyMode, brushColour, s, d);
    }
  }
}

} // namespace tavrin::canvas
