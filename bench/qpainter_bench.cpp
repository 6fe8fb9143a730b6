// The same cases as raster_bench.cpp drawn with QImage/QPainter (antialiasing off), for the
// ratio; Qt has no flood fill, so that case is a scanline fill over QImage's pixels.
#include <QColor>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

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
  QImage img(1000, 1000, QImage::Format_RGB32);
  img.fill(Qt::white);
  const double fill = bestMs([&](int i) {
    QPainter p(&img);
    p.fillRect(0, 0, 1000, 1000, QColor::fromRgb(static_cast<QRgb>(i * 7919)));
  });
  const double flood = bestMs([&](int i) {
    img.fill(Qt::white);
    auto* px = reinterpret_cast<QRgb*>(img.bits());
    const QRgb from = qRgb(255, 255, 255), to = qRgb(0, 0, 255);
    std::vector<std::pair<int, int>> stack{{i, i}};
    while (!stack.empty()) {
      auto [x, y] = stack.back();
      stack.pop_back();
      if (px[y * 1000 + x] != from) continue;
      int l = x, r = x;
      while (l > 0 && px[y * 1000 + l - 1] == from) --l;
      while (r < 999 && px[y * 1000 + r + 1] == from) ++r;
      for (int k = l; k <= r; ++k) px[y * 1000 + k] = to;
      for (int ny : {y - 1, y + 1}) {
        if (ny < 0 || ny > 999) continue;
        bool run = false;
        for (int k = l; k <= r; ++k) {
          const bool in = px[ny * 1000 + k] == from;
          if (in && !run) stack.emplace_back(k, ny);
          run = in;
        }
      }
    }
  });
  const double lines = bestMs([&](int) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int k = 0; k < 1000; ++k) {
      p.setPen(QColor::fromRgb(static_cast<QRgb>(k)));
      p.drawLine(k % 1000, 0, 999 - (k * 37) % 1000, 999);
    }
  });
  std::printf("fillrect_1000x1000 %.3f\nfloodfill_1M %.3f\nlines_1000 %.3f\n", fill, flood, lines);
}
