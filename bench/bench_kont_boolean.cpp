// bench_kont_boolean.cpp - growth of union, intersection and difference with the size of the
// operands, on three families of 10^2 to 10^5 segments per contour:
// - spiky stars: two random star-shaped contours (radius drawn per vertex) whose boundaries cross
//   about n times, so the result has many pieces and contours;
// - wobbly circles: two overlapping circles with a smooth wobble, crossing a few times;
// - stars with islands: r(t) = R (1 + 0.25 sin 7t + 0.08 sin 53t) with 4 star islands of n/8
//   vertices, against the same region turned and shifted.
// Each operation runs kontBoolean on the two operands.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_boolean.h"
#include "geometry/kont_region.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A closed contour through the points, box set, z 0.
Kont2D* benchContour(const std::vector<Point2D>& p) {
  const int n = static_cast<int>(p.size());
  Kont2D* k = kontNew(nullptr, n);
  for (int i = 0; i < n; ++i) {
    const Seg2D s{p[i].x, p[i].y, p[(i + 1) % n].x, p[(i + 1) % n].y};
    kontAppendSeg(k, &s);
  }
  k->closed = 1;
  k->z = 0.0;
  return k;
}

// n points of the curve r(t) about (cx, cy), turned by phase; clockwise when cw.
template <typename R>
std::vector<Point2D> benchCurve(int n, double cx, double cy, double phase, bool cw, R radius) {
  std::vector<Point2D> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * kPi * i / n * (cw ? -1.0 : 1.0);
    const double r = radius(t);
    p[i] = {cx + r * std::cos(t + phase), cy + r * std::sin(t + phase)};
  }
  return p;
}

// A star-shaped contour of n segments with a random radius in [8, 10] at every vertex.
Kont2D* spikyStar(int n, double cx, double cy, std::mt19937& rng) {
  std::uniform_real_distribution<double> radius(8.0, 10.0);
  return benchContour(benchCurve(n, cx, cy, 0.0, false, [&](double) { return radius(rng); }));
}

Kont2D* wobblyCircle(int n, double cx, double cy, double phase) {
  return benchContour(benchCurve(n, cx, cy, phase, false, [](double t) {
    return 10.0 * (1.0 + 0.03 * std::sin(5.0 * t) + 0.01 * std::sin(23.0 * t));
  }));
}

// The star r(t) = R (1 + 0.25 sin 7t + 0.08 sin 53t), R = 10, with 4 clockwise islands of n/8
// vertices (small stars of the same kind, R = 1) at half the radius.
Kont2D* starWithIslands(int n, double cx, double cy, double phase) {
  auto star = [](double big) {
    return
        [big](double t) { return big * (1.0 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t)); };
  };
  Kont2D* outer = benchContour(benchCurve(n, cx, cy, phase, false, star(10.0)));
  Kont2D* last = outer;
  for (int i = 0; i < 4; ++i) {
    const double a = phase + kPi / 4 + i * kPi / 2;
    Kont2D* island = benchContour(benchCurve(std::max(3, n / 8), cx + 4.5 * std::cos(a),
                                             cy + 4.5 * std::sin(a), phase, true, star(1.0)));
    island->prev = last;
    if (last == outer)
      outer->child = island;
    else
      last->next = island;
    last = island;
  }
  return outer;
}

// The operation rewrites the operands' ends onto each other, which leaves operands whose contours
// close exactly (as these do) as they are, so the same operands serve every iteration and the
// timing holds only the operation and the release of its result.
void runBoolean(benchmark::State& state, Kont2D* a, Kont2D* b, int mode) {
  int contours = 0, result = 0;
  for (auto _ : state) {
    Kont2D* out = nullptr;
    result = kontBoolean(a, b, mode, &out);
    benchmark::DoNotOptimize(out);
    contours = 0;
    for (const Kont2D* r = out; r != nullptr; r = r->next)
      for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) ++contours;
    kontFree(out);
  }
  if (result < 0) state.SkipWithError("the operation failed");
  state.counters["contours"] = contours;
  state.SetComplexityN(state.range(0));
  kontFree(a);
  kontFree(b);
}

void BM_SpikyStars(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(42);
  Kont2D* a = spikyStar(n, 0.0, 0.0, rng);
  Kont2D* b = spikyStar(n, 0.7, 0.4, rng);
  runBoolean(state, a, b, static_cast<int>(state.range(1)));
}

void BM_WobblyCircles(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  runBoolean(state, wobblyCircle(n, 0.0, 0.0, 0.0), wobblyCircle(n, 4.0, 2.0, 0.4),
             static_cast<int>(state.range(1)));
}

void BM_StarsWithIslands(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  runBoolean(state, starWithIslands(n, 0.0, 0.0, 0.0), starWithIslands(n, 1.5, 0.8, 0.3),
             static_cast<int>(state.range(1)));
}

}  // namespace

BENCHMARK(BM_SpikyStars)
    ->ArgsProduct({{100, 1000, 3000, 10000, 100000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_WobblyCircles)
    ->ArgsProduct({{100, 1000, 3000, 10000, 100000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_StarsWithIslands)
    ->ArgsProduct({{100, 1000, 3000, 10000, 100000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
