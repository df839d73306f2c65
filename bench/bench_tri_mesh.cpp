// Mesh build time of star-shaped regions of 10^3 to 2*10^5 points (199996, the most a mesh
// takes), and point location in the mesh against a plain crossing test of every segment.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/tri_mesh.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

// Star-shaped outer contour of n points, radii 70..100.
Kont2D* makeRegion(int n) {
  std::mt19937_64 rng(static_cast<std::uint64_t>(n));
  std::uniform_real_distribution<double> jitter(0.0, 0.8), radius(70.0, 100.0);
  Kont2D* k = kontNew(nullptr, n);
  std::vector<Point2D> p;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * (i + jitter(rng)) / n, r = radius(rng);
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  for (int i = 0; i < n; ++i) {
    const Seg2D s{p[i].x, p[i].y, p[(i + 1) % n].x, p[(i + 1) % n].y};
    kontAppendSeg(k, &s);
  }
  k->closed = 1;
  return k;
}

void BM_MeshBuild(benchmark::State& state) {
  Kont2D* k = makeRegion(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TriMesh* m = triSeidelMesh(k);
    benchmark::DoNotOptimize(m);
    triMeshFree(m);
  }
  state.SetComplexityN(state.range(0));
  kontFree(k);
}

std::vector<Point2D> queryPoints() {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-110.0, 110.0);
  std::vector<Point2D> q(1000);
  for (auto& p : q) p = {u(rng), u(rng)};
  return q;
}

void BM_LocateInMesh(benchmark::State& state) {
  Kont2D* k = makeRegion(static_cast<int>(state.range(0)));
  k->mesh = triSeidelMesh(k);
  const auto q = queryPoints();
  for (auto _ : state)
    for (const Point2D& p : q) benchmark::DoNotOptimize(kontClassifyPoint(k, p));
  state.SetItemsProcessed(state.iterations() * static_cast<long>(q.size()));
  state.SetComplexityN(state.range(0));
  triMeshFree(k->mesh);
  k->mesh = nullptr;
  kontFree(k);
}

void BM_LocatePlainScan(benchmark::State& state) {
  Kont2D* k = makeRegion(static_cast<int>(state.range(0)));
  const auto q = queryPoints();
  for (auto _ : state)
    for (const Point2D& p : q) benchmark::DoNotOptimize(kontClassifyPoint(k, p));
  state.SetItemsProcessed(state.iterations() * static_cast<long>(q.size()));
  state.SetComplexityN(state.range(0));
  kontFree(k);
}
}  // namespace

BENCHMARK(BM_MeshBuild)
    ->RangeMultiplier(4)
    ->Range(1000, 199996)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK(BM_LocateInMesh)
    ->RangeMultiplier(4)
    ->Range(1000, 199996)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_LocatePlainScan)
    ->RangeMultiplier(4)
    ->Range(1000, 199996)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
