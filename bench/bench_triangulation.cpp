// Triangulation time of polygons of 10^3 to 2*10^5 points, a star-shaped contour alone and one
// with half of its points in small holes, to show how the triangulation grows with the point count
// (expected close to n log n).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "geometry/seidel.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

struct Polygon {
  std::vector<int> counts;
  std::vector<Point2D> pts{Point2D{0, 0}};  // 1-based
  int holes() const { return static_cast<int>(counts.size()) - 1; }
  int n() const { return static_cast<int>(pts.size()) - 1; }
};

// k points at jittered even angles about c, radii in [rMin, rMax]; clockwise when cw.
void addStar(Polygon& p, std::mt19937_64& rng, Point2D c, int k, double rMin, double rMax,
             bool cw) {
  std::uniform_real_distribution<double> jitter(0.0, 0.8), radius(rMin, rMax);
  p.counts.push_back(k);
  for (int i = 0; i < k; ++i) {
    const double a = 2 * kPi * (cw ? k - i + jitter(rng) : i + jitter(rng)) / k;
    const double r = radius(rng);
    p.pts.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
}

// Outer star of radius 70..100 with `holePoints` points spread over 8-point holes on a grid
// inside radius 45.
Polygon makePolygon(int n, int holePoints) {
  std::mt19937_64 rng(static_cast<std::uint64_t>(n) * 31 + static_cast<std::uint64_t>(holePoints));
  Polygon p;
  const int holeCount = holePoints / 8;
  addStar(p, rng, {0, 0}, n - 8 * holeCount, 70, 100, false);
  if (holeCount == 0) return p;
  const double cell = std::sqrt(kPi * 45 * 45 / (holeCount * 1.3));
  int placed = 0;
  for (double x = -45; x <= 45 && placed < holeCount; x += cell) {
    for (double y = -45; y <= 45 && placed < holeCount; y += cell) {
      if (std::hypot(x, y) + cell > 45) continue;
      addStar(p, rng, {x, y}, 8, 0.15 * cell, 0.35 * cell, true);
      ++placed;
    }
  }
  return p;
}

void triangulate(benchmark::State& state, int holeShare) {
  const int n = static_cast<int>(state.range(0));
  const Polygon p = makePolygon(n, n * holeShare / 100);
  const int triangles = p.n() + 2 * p.holes() - 2;
  std::unique_ptr<int[][3]> out(new int[static_cast<std::size_t>(triangles)][3]);
  triSeidelResetState();
  if (triSeidelPrepare(2 * p.n() + 3) != 1) {
    state.SkipWithError("tables not prepared");
    return;
  }
  triSeidelSetTriangleLimit(triangles);
  int result = 1;
  for (auto _ : state) {
    result = triangulate_polygonm_seidel(static_cast<int>(p.counts.size()), p.counts.data(),
                                         p.pts.data(), out.get());
    benchmark::DoNotOptimize(out.get());
    if (result != 1) break;
  }
  triSeidelRelease();
  if (result != 1) state.SkipWithError("triangulation failed");
  state.SetComplexityN(p.n());
  state.counters["points"] = p.n();
  state.counters["holes"] = p.holes();
}

void BM_TriangulateStar(benchmark::State& state) { triangulate(state, 0); }
void BM_TriangulateWithHoles(benchmark::State& state) { triangulate(state, 50); }
}  // namespace

BENCHMARK(BM_TriangulateStar)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK(BM_TriangulateWithHoles)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
