// bench_kont.cpp - growth of the self-intersection test and of point classification with the
// size of a region: star-shaped outer contours of 10^2 to 10^5 segments with one island.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "geometry/kont2d.h"
#include "geometry/kont_region.h"

namespace {

// A crossing-free star-shaped contour of n segments around (cx, cy); clockwise when cw.
Kont2D* benchStar(int n, double cx, double cy, double rmin, double rmax, bool cw,
                  std::mt19937& rng) {
  std::uniform_real_distribution<double> radius(rmin, rmax);
  Kont2D* k = kontNew(nullptr, n);
  double px = 0, py = 0, fx = 0, fy = 0;
  for (int i = 0; i <= n; ++i) {
    double x = fx, y = fy;
    if (i < n) {
      const double a = 2.0 * M_PI * i / n * (cw ? -1.0 : 1.0);
      const double r = radius(rng);
      x = cx + r * std::cos(a);
      y = cy + r * std::sin(a);
    }
    if (i == 0) {
      fx = x;
      fy = y;
    } else {
      const Seg2D s{px, py, x, y};
      kontAppendSeg(k, &s);
    }
    px = x;
    py = y;
  }
  k->closed = 1;
  k->z = 0.0;
  return k;
}

Kont2D* benchRegion(int n) {
  std::mt19937 rng(12345);
  Kont2D* outer = benchStar(n, 0, 0, 80.0, 100.0, false, rng);
  Kont2D* island = benchStar(n / 10 + 3, 0, 0, 20.0, 30.0, true, rng);
  outer->child = island;
  island->prev = outer;
  return outer;
}

void BM_KontSelfIntersects(benchmark::State& state) {
  Kont2D* region = benchRegion(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(kontSelfIntersects(region, nullptr, 0, 1e-5));
  state.SetComplexityN(state.range(0));
  kontFree(region);
}
BENCHMARK(BM_KontSelfIntersects)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

void BM_KontClassifyPoint(benchmark::State& state) {
  Kont2D* region = benchRegion(static_cast<int>(state.range(0)));
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coord(-100.0, 100.0);
  Point2D pts[256];
  for (Point2D& p : pts) p = {coord(rng), coord(rng)};
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(kontClassifyPoint(region, pts[i++ & 255]));
  state.SetComplexityN(state.range(0));
  kontFree(region);
}
BENCHMARK(BM_KontClassifyPoint)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
