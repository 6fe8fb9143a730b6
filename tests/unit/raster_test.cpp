// Pixel-exact checks of the canvas rasteriser: edges of half-open boxes, lines without
// their end pixel, symmetric ellipses, flood fills and raster-op copies, and a fuzz loop of
// far-out primitives that must stay inside the buffer.
#include "ui/canvas/raster.h"

#include <gtest/gtest.h>

#include <random>

using namespace tavrin::canvas;

namespace {

constexpr Pixel kWhite = 0xFFFFFFFF;
constexpr Pixel kRed = 0xFFFF0000;
constexpr Pixel kBlue = 0xFF0000FF;

std::int64_t countOf(const Raster& r, Pixel p) {
  std::int64_t n = 0;
  for (int y = 0; y < r.height(); ++y)
    for (int x = 0; x < r.width(); ++x) n += r.getPixel(x, y) == p;
  return n;
}

} // namespace

TEST(RasterColours, ProgramColoursAndSystemPalette) {
  EXPECT_EQ(toPixel(0x0000FF), kRed); // 0x00BBGGRR: red is the low byte
  EXPECT_EQ(fromPixel(kBlue), 0xFF0000u);
  EXPECT_EQ(resolveColour(0x8000000F), 0xC0C0C0u); // button face
  EXPECT_EQ(resolveColour(0x80000005), 0xFFFFFFu); // window
  EXPECT_EQ(resolveColour(0x800000FF), 0u);        // past the table: black
  EXPECT_EQ(resolveColour(-2147483647 - 1), systemColour(0));
  EXPECT_EQ(resolveColour(0x1FF00FF), 0xFF00FFu); // only the low 24 bits of a plain colour
}

TEST(RasterRects, FillIsHalfOpenAndNormalised) {
  Raster a(20, 20, kWhite);
  a.brushColour = kRed;
  a.fillRect({0, 0, 10, 10});
  EXPECT_EQ(countOf(a, kRed), 100);
  EXPECT_EQ(a.getPixel(9, 9), kRed);
  EXPECT_EQ(a.getPixel(10, 9), kWhite);
  EXPECT_EQ(a.getPixel(9, 10), kWhite);
  Raster b(20, 20, kWhite);
  b.brushColour = kRed;
  b.fillRect({10, 10, 0, 0});
  EXPECT_EQ(std::vector<Pixel>(a.data(), a.data() + 400), std::vector<Pixel>(b.data(), b.data() + 400));
}

TEST(RasterRects, FrameMatchesEitherCornerOrder) {
  Raster a(20, 20, kWhite), b(20, 20, kWhite);
  a.brushColour = b.brushColour = kBlue;
  a.frameRect({0, 0, 10, 10});
  b.frameRect({10, 10, 0, 0});
  EXPECT_EQ(std::vector<Pixel>(a.data(), a.data() + 400), std::vector<Pixel>(b.data(), b.data() + 400));
  EXPECT_EQ(countOf(a, kBlue), 36);
  EXPECT_EQ(a.getPixel(9, 0), kBlue);
  EXPECT_EQ(a.getPixel(0, 9), kBlue);
  EXPECT_EQ(a.getPixel(10, 0), kWhite);
  EXPECT_EQ(a.getPixel(5, 5), kWhite);
  Raster e(5, 5, kWhite);
  e.brushColour = kBlue;
  e.frameRect({2, 2, 2, 4});
  EXPECT_EQ(countOf(e, kBlue), 0);
}

TEST(RasterLines, LeavesOutTheEndPixel) {
  Raster r(10, 10, kWhite);
  r.penColour = kRed;
  r.lineTo(0, 0, 5, 0);
  EXPECT_EQ(countOf(r, kRed), 5);
  EXPECT_EQ(r.getPixel(4, 0), kRed);
  EXPECT_EQ(r.getPixel(5, 0), kWhite);
  Raster d(10, 10, kWhite);
  d.penColour = kRed;
  d.lineTo(0, 0, 4, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d.getPixel(i, i), kRed);
  EXPECT_EQ(d.getPixel(4, 4), kWhite);
  EXPECT_EQ(countOf(d, kRed), 4);
  Raster s(10, 10, kWhite); // a shallow line steps once, at its middle
  s.penColour = kRed;
  s.lineTo(0, 0, 4, 1);
  EXPECT_EQ(s.getPixel(1, 0), kRed);
  EXPECT_EQ(s.getPixel(2, 1), kRed);
  EXPECT_EQ(s.getPixel(3, 1), kRed);
  Raster c(10, 10, kWhite);
  c.penStyle = PenStyle::Clear;
  c.lineTo(0, 0, 9, 9);
  EXPECT_EQ(countOf(c, kWhite), 100);
}

TEST(RasterLines, FarEndsDrawOnlyTheVisiblePart) {
  Raster r(10, 10, kWhite);
  r.penColour = kRed;
  r.lineTo(-1000000000, 5, 1000000000, 5);
  EXPECT_EQ(countOf(r, kRed), 10);
  Raster v(10, 10, kWhite);
  v.penColour = kRed;
  v.lineTo(3, 2000000000, 3, -2000000000);
  EXPECT_EQ(countOf(v, kRed), 10);
}

TEST(RasterEllipse, InsideItsBoxAndSymmetric) {
  for (int w : {1, 2, 3, 7, 10, 31}) {
    for (int h : {1, 2, 5, 10, 16}) {
      Raster r(40, 40, kWhite);
      r.penColour = kRed;
      r.brushColour = kBlue;
      r.ellipse({5, 6, 5 + w, 6 + h});
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
          const bool inBox = x >= 5 && x < 5 + w && y >= 6 && y < 6 + h;
          if (!inBox) {
            EXPECT_EQ(r.getPixel(x, y), kWhite) << w << "x" << h;
          } else {
            const int mx = 5 + w - 1 - (x - 5), my = 6 + h - 1 - (y - 6);
            EXPECT_EQ(r.getPixel(x, y), r.getPixel(mx, y));
            EXPECT_EQ(r.getPixel(x, y), r.getPixel(x, my));
          }
        }
      // It touches all four sides of its box.
      EXPECT_EQ(r.getPixel(5 + w / 2, 6), kRed);
      EXPECT_EQ(r.getPixel(5, 6 + h / 2), kRed);
    }
  }
  Raster hollow(20, 20, kWhite);
  hollow.penColour = kRed;
  hollow.brushStyle = BrushStyle::Clear;
  hollow.brushColour = kBlue;
  hollow.ellipse({0, 0, 20, 20});
  EXPECT_EQ(hollow.getPixel(10, 10), kWhite);
  EXPECT_EQ(countOf(hollow, kBlue), 0);
  EXPECT_EQ(hollow.getPixel(0, 0), kWhite); // corners stay outside the curve
}

TEST(RasterEllipse, OutlineIsConnected) {
  Raster r(30, 20, kWhite);
  r.penColour = kRed;
  r.brushStyle = BrushStyle::Clear;
  r.ellipse({0, 0, 30, 20});
  // Flood-filling the inside stays inside: the outline has no gap.
  r.brushColour = kBlue;
  r.floodFill(15, 10, kWhite, FillStyle::Surface);
  EXPECT_EQ(r.getPixel(0, 0), kWhite);
  EXPECT_EQ(r.getPixel(29, 19), kWhite);
  EXPECT_GT(countOf(r, kBlue), 300);
}

TEST(RasterRoundRect, SquareCornersWithoutRadius) {
  Raster a(20, 20, kWhite), b(20, 20, kWhite);
  a.penColour = b.brushColour = kRed;
  a.brushStyle = BrushStyle::Clear;
  a.roundRect({2, 2, 12, 9}, 0, 0);
  b.frameRect({2, 2, 12, 9});
  EXPECT_EQ(std::vector<Pixel>(a.data(), a.data() + 400), std::vector<Pixel>(b.data(), b.data() + 400));
  Raster c(20, 20, kWhite);
  c.penColour = kRed;
  c.brushColour = kBlue;
  c.roundRect({0, 0, 20, 20}, 8, 8);
  EXPECT_EQ(c.getPixel(0, 0), kWhite);
  EXPECT_EQ(c.getPixel(10, 0), kRed);
  EXPECT_EQ(c.getPixel(0, 10), kRed);
  EXPECT_EQ(c.getPixel(19, 10), kRed);
  EXPECT_EQ(c.getPixel(10, 10), kBlue);
}

TEST(RasterFlood, SurfaceFillsOne4ConnectedRegion) {
  Raster r(10, 10, kWhite);
  r.brushColour = kRed;
  r.fillRect({0, 5, 10, 6}); // a wall across row 5
  r.setPixel(6, 2, kRed);    // diagonal neighbours do not connect
  r.setPixel(7, 1, kWhite);
  r.brushColour = kBlue;
  r.floodFill(0, 0, kWhite, FillStyle::Surface);
  EXPECT_EQ(countOf(r, kBlue), 49);
  EXPECT_EQ(r.getPixel(0, 9), kWhite);
  EXPECT_EQ(r.getPixel(6, 2), kRed);
  // A start pixel of another colour fills nothing.
  r.brushColour = kRed;
  r.floodFill(0, 9, kBlue, FillStyle::Surface);
  EXPECT_EQ(r.getPixel(0, 9), kWhite);
}

TEST(RasterFlood, BorderStopsAtTheBorderColour) {
  Raster r(10, 10, kWhite);
  r.brushColour = kRed;
  r.frameRect({2, 2, 8, 8});
  r.setPixel(4, 4, kBlue);
  r.brushColour = kBlue; // the fill colour may equal a pixel inside
  r.floodFill(5, 5, kRed, FillStyle::Border);
  EXPECT_EQ(countOf(r, kBlue), 16);
  EXPECT_EQ(r.getPixel(0, 0), kWhite);
}

TEST(RasterFlood, HugeRegionNeedsNoRecursion) {
  Raster r(2000, 2000, kWhite);
  // A serpentine maze gives the longest fill path.
  r.brushColour = kRed;
  for (int x = 2; x < 2000; x += 4) {
    r.fillRect({x, (x / 4) % 2 ? 0 : 1, x + 1, (x / 4) % 2 ? 1999 : 2000});
  }
  r.brushColour = kBlue;
  r.floodFill(0, 0, kWhite, FillStyle::Surface);
  EXPECT_EQ(countOf(r, kWhite), 0);
}

TEST(RasterCopy, RasterOpsAndStretch) {
  Raster src(4, 4, kRed), dst(8, 8, kBlue);
  dst.copyRect({0, 0, 4, 4}, src, {0, 0, 4, 4});
  EXPECT_EQ(dst.getPixel(3, 3), kRed);
  EXPECT_EQ(dst.getPixel(4, 4), kBlue);
  dst.copyMode = kSrcPaint;
  dst.copyRect({4, 4, 8, 8}, src, {0, 0, 4, 4});
  EXPECT_EQ(dst.getPixel(5, 5), 0xFFFF00FFu);
  dst.copyMode = kSrcAnd;
  dst.copyRect({0, 4, 4, 8}, src, {0, 0, 4, 4});
  EXPECT_EQ(dst.getPixel(0, 4), 0xFF000000u);
  dst.copyMode = kDstInvert;
  dst.copyRect({0, 0, 1, 1}, src, {0, 0, 1, 1});
  EXPECT_EQ(dst.getPixel(0, 0), 0xFF00FFFFu);
  EXPECT_EQ(applyRop(kWhiteness, 0, 0, 0), kWhite);
  EXPECT_EQ(applyRop(kNotSrcCopy, 0, kRed, 0), 0xFF00FFFFu);
  EXPECT_EQ(applyRop(kSrcInvert, 0, kRed, kWhite), 0xFF00FFFFu);

  Raster small(2, 2, kWhite);
  small.setPixel(1, 0, kRed);
  Raster big(4, 4, kBlue);
  big.copyRect({0, 0, 4, 4}, small, {0, 0, 2, 2});
  EXPECT_EQ(countOf(big, kRed), 4);
  EXPECT_EQ(big.getPixel(2, 0), kRed);
  EXPECT_EQ(big.getPixel(3, 1), kRed);
  // Overlapping copy within one buffer reads the pixels as they were.
  Raster line(6, 1, kWhite);
  line.setPixel(0, 0, kRed);
  line.setPixel(1, 0, kBlue);
  line.copyRect({1, 0, 3, 1}, line, {0, 0, 2, 1});
  EXPECT_EQ(line.getPixel(1, 0), kRed);
  EXPECT_EQ(line.getPixel(2, 0), kBlue);
}

TEST(RasterBuffer, ResizeKeepsPixelsAndOutsideReadsMinusOne) {
  Raster r(4, 4, kWhite);
  r.setPixel(3, 3, kRed);
  r.resize(6, 2, kBlue);
  EXPECT_EQ(r.getPixel(3, 1), kWhite);
  EXPECT_EQ(r.getPixel(5, 0), kBlue);
  EXPECT_EQ(r.getPixel(3, 3), -1);
  EXPECT_EQ(r.getPixel(-1, 0), -1);
  r.resize(-3, 5);
  EXPECT_EQ(r.width(), 0);
  r.setPixel(0, 0, kRed); // ignored, no buffer
}

// Random primitives with coordinates far outside: nothing outside the buffer is touched
// (ASan in the sanitizer build), nothing hangs, and guard pixels around a view stay intact.
TEST(RasterFuzz, FarCoordinatesStayInside) {
  std::mt19937_64 rng(12345);
  auto coord = [&]() -> std::int64_t {
    switch (rng() % 4) {
    case 0: return static_cast<std::int64_t>(rng() % 64) - 16;
    case 1: return static_cast<std::int32_t>(rng());
    case 2: return static_cast<std::int64_t>(rng() % 2000) - 1000;
    default: return (rng() & 1) ? 2147483647 : -2147483647 - 1;
    }
  };
  Raster r(37, 23, kWhite);
  Raster other(13, 9, kBlue);
  for (int i = 0; i < 4000; ++i) {
    r.penColour = 0xFF000000u | static_cast<Pixel>(rng());
    r.brushColour = 0xFF000000u | static_cast<Pixel>(rng());
    r.brushStyle = (rng() & 1) ? BrushStyle::Solid : BrushStyle::Clear;
    r.copyMode = (rng() & 1) ? kSrcCopy : static_cast<std::uint32_t>(rng());
    const Rect box{coord(), coord(), coord(), coord()};
    switch (rng() % 8) {
    case 0: r.lineTo(box.x1, box.y1, box.x2, box.y2); break;
    case 1: r.fillRect(box); break;
    case 2: r.frameRect(box); break;
    case 3: r.ellipse(box); break;
    case 4: r.roundRect(box, coord(), coord()); break;
    case 5: r.floodFill(coord(), coord(), static_cast<Pixel>(r.getPixel(rng() % 37, rng() % 23)),
                        (rng() & 1) ? FillStyle::Surface : FillStyle::Border);
      break;
    case 6: r.copyRect(box, other, {coord(), coord(), coord(), coord()}); break;
    default: r.copyRect(box, r, {coord(), coord(), coord(), coord()}); break;
    }
  }
  EXPECT_EQ(r.width(), 37);
  EXPECT_EQ(countOf(other, kBlue), 13 * 9);
}
