// bench_profile_drop.cpp - samples per second of the drop along a profile on a flat model, a
// terrain and a wall-rich model (a field of blocks with vertical walls), with the triangle grid
// built as the cycles build it; the profiles run diagonally across each model.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/model/model_fixture.h"
#include "geometry/guide_curve.h"
#include "geometry/path_list.h"
#include "model/profile_drop.h"

namespace {

void addLevel(std::vector<Tri3D>* t, double x0, double y0, double x1, double y1, double z) {
  t->push_back(Tri3D{{{x0, y0, z}, {x1, y0, z}, {x1, y1, z}}});
  t->push_back(Tri3D{{{x0, y0, z}, {x1, y1, z}, {x0, y1, z}}});
}

std::vector<Tri3D> flatMesh() {
  std::vector<Tri3D> t;
  for (int i = 0; i < 20; ++i) {
    for (int j = 0; j < 20; ++j) addLevel(&t, i * 10.0, j * 10.0, i * 10.0 + 10, j * 10.0 + 10, 0);
  }
  return t;
}

// Blocks of alternating heights on a floor: every block side is a vertical wall.
std::vector<Tri3D> wallMesh() {
  std::vector<Tri3D> t;
  addLevel(&t, 0, 0, 200, 200, 0);
  for (int i = 0; i < 10; ++i) {
    for (int j = 0; j < 10; ++j) {
      const double x0 = i * 20.0 + 4, y0 = j * 20.0 + 4, x1 = x0 + 12, y1 = y0 + 12;
      const double h = 5.0 + ((i + j) % 3) * 5.0;
      addLevel(&t, x0, y0, x1, y1, h);
      const Point3D c[4] = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
      for (int k = 0; k < 4; ++k) {
        const Point3D a = c[k], b = c[(k + 1) % 4];
        t.push_back(Tri3D{{a, b, {b.x, b.y, h}}});
        t.push_back(Tri3D{{a, {b.x, b.y, h}, {a.x, a.y, h}}});
      }
    }
  }
  return t;
}

void runDrop(benchmark::State& state, const std::vector<Tri3D>& mesh) {
  qdtest::TriModel tm(mesh, qdtest::makeCutter(kCutterBall, 5, 5));
  modelBuildIndex(&tm.m);
  GuideCurve* curve = guideFromTwoPoints({2, 3, 0}, {197, 190, 0});
  tm.m.profile = curve;
  tm.m.step = 1.0;
  tm.m.tolerance = 0.01;
  tm.m.candidateLength = 5;
  tm.m.floorZ = -1000;
  tm.m.ceilingZ = 1000;
  PathList* out = pathListNew(1000, 1);
  std::int64_t samples = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dropAlongProfile(&tm.m, out));
    samples += out->count;
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
  state.counters["samples/drop"] = static_cast<double>(out->count);
  pathListFree(out);
  guideFree(curve);
}

void BM_ProfileDropFlat(benchmark::State& state) { runDrop(state, flatMesh()); }
void BM_ProfileDropTerrain(benchmark::State& state) {
  runDrop(state, qdtest::terrainMesh(100, 200));
}
void BM_ProfileDropWalls(benchmark::State& state) { runDrop(state, wallMesh()); }

BENCHMARK(BM_ProfileDropFlat);
BENCHMARK(BM_ProfileDropTerrain);
BENCHMARK(BM_ProfileDropWalls);

}  // namespace
