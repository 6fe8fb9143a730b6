// Times the canvas rasteriser: FillRect 1000x1000, a flood fill of a million pixels and
// 1,000 lines, each the best of 20 runs. Prints one "name ms" line per case.
#include "ui/canvas/raster.h"

#include <chrono>
#include <cstdio>

using namespace tavrin::canvas;

template <typename F> static double bestMs(F&& f) {
  double best = 1e9;
  for (int i = 0; i < 20; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f(i);
    const auto t1 = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    if (ms < best) best = ms;
  }
  return best;
}

int main() {
  Raster r(1000, 1000, 0xFFFFFFFF);
  const double fill = bestMs([&](int i) {
    r.brushColour = 0xFF000000u | static_cast<Pixel>(i * 7919);
    r.fillRect({0, 0, 1000, 1000});
  });
  const double flood = bestMs([&](int i) {
    r.brushColour = 0xFFFFFFFF;
    r.fillRect({0, 0, 1000, 1000});
    r.brushColour = 0xFF0000FF;
    r.floodFill(i, i, 0xFFFFFFFF, FillStyle::Surface);
  });
  const double lines = bestMs([&](int) {
    for (int k = 0; k < 1000; ++k) {
      r.penColour = 0xFF000000u | static_cast<Pixel>(k);
      r.lineTo(k % 1000, 0, 999 - (k * 37) % 1000, 999);
    }
  });
  std::printf("fillrect_1000x1000 %.3f\nfloodfill_1M %.3f\nlines_1000 %.3f\n", fill, flood, lines);
}
