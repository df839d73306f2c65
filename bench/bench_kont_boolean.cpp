// bench_kont_boolean.cpp - growth of union, intersection and difference with the size of the
// operands: two random star-shaped contours of 10^2 to 10^4 segments each whose boundaries cross
// about n times. The cut search compares every segment of A with every segment of B and each
// piece is classified against the whole other operand, so both grow with the product of sizes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_region.h"

namespace {

// A crossing-free counter-clockwise star-shaped contour of n segments around (cx, cy).
Kont2D* benchStar(int n, double cx, double cy, std::mt19937& rng) {
  std::uniform_real_distribution<double> radius(8.0, 10.0);
  Kont2D* k = kontNew(nullptr, n);
  std::vector<Point2D> p(n);
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * M_PI * i / n;
    const double r = radius(rng);
    p[i] = {cx + r * std::cos(a), cy + r * std::sin(a)};
  }
  for (int i = 0; i < n; ++i) {
    const Seg2D s{p[i].x, p[i].y, p[(i + 1) % n].x, p[(i + 1) % n].y};
    kontAppendSeg(k, &s);
  }
  k->closed = 1;
  k->z = 0.0;
  return k;
}

void BM_KontBoolean(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  std::mt19937 rng(42);
  Kont2D* a = benchStar(n, 0.0, 0.0, rng);
  Kont2D* b = benchStar(n, 0.7, 0.4, rng);
  int contours = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Kont2D* ca = kontCopy(a);
    Kont2D* cb = kontCopy(b);
    state.ResumeTiming();
    Kont2D* out = nullptr;
    const int r = kontBoolean(ca, cb, mode, &out);
    benchmark::DoNotOptimize(r);
    state.PauseTiming();
    contours = 0;
    for (const Kont2D* k = out; k != nullptr; k = k->next) ++contours;
    kontFree(out);
    kontFree(ca);
    kontFree(cb);
    state.ResumeTiming();
  }
  state.counters["regions"] = contours;
  state.SetComplexityN(n);
  kontFree(a);
  kontFree(b);
}

// Sizes above 10^4 segments take well beyond a few seconds per operation and are left out.
BENCHMARK(BM_KontBoolean)
    ->ArgsProduct({{100, 300, 1000, 3000, 10000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
