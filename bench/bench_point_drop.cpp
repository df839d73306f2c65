// bench_point_drop.cpp - point drops per second for every cutter on generated models of 10^3 to
// 10^6 triangles (a terrain height field and a tessellated sphere): the grid bucket scan against
// the scan over all facets, to see how each grows with the triangle count.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "../tests/model/model_fixture.h"
#include "model/point_drop.h"

namespace {

enum MeshKind { kTerrain = 0, kSphere = 1 };

// Meshes of about count triangles over a 1000 x 1000 plan square.
std::vector<Tri3D> makeMesh(int kind, int count) {
  if (kind == kTerrain) {
    const int cells = static_cast<int>(std::lround(std::sqrt(count / 2.0)));
    return qdtest::terrainMesh(cells, 1000);
  }
  const int stacks = static_cast<int>(std::lround(std::sqrt(count / 4.0)));
  return qdtest::sphereMesh(stacks, 2 * stacks, 500, 500, 500);
}

CutterShape cutterOf(int type) {
  switch (type) {
    case kCutterBall: return qdtest::makeCutter(kCutterBall, 10, 10);
    case kCutterFlat: return qdtest::makeCutter(kCutterFlat, 10, 0);
    case kCutterTorus: return qdtest::makeCutter(kCutterTorus, 10, 3);
    default: return qdtest::makeConeBand(10, 16, 20, 30);
  }
}

// One model per (mesh, size), indexed for the cutters of radius 10, and a second grid of the same
// dimensions whose margin covers the cone band's half shank; both kept for the process.
struct BenchModel {
  std::unique_ptr<qdtest::TriModel> model;
  TriangleGrid* bandGrid = nullptr;
};

BenchModel& modelFor(int kind, int count) {
  static std::map<std::pair<int, int>, BenchModel> cache;
  BenchModel& slot = cache[{kind, count}];
  if (!slot.model) {
    slot.model = std::make_unique<qdtest::TriModel>(makeMesh(kind, count), cutterOf(kCutterFlat));
    SurfaceModel& m = slot.model->m;
    modelBuildIndex(&m);
    slot.bandGrid = triGridNew(m.grid->rows, m.grid->columns, 100);
    triGridFill(slot.bandGrid, m.triangles->count, m.boxMin, m.boxMax, m.facetMin, m.facetMax,
                cutterOf(kCutterConeBand).shankDiameter / 2);
  }
  return slot;
}

void dropBench(benchmark::State& state, bool useGrid) {
  const int kind = static_cast<int>(state.range(0));
  const int count = static_cast<int>(state.range(1));
  const int type = static_cast<int>(state.range(2));
  BenchModel& bm = modelFor(kind, count);
  qdtest::TriModel& tm = *bm.model;
  const CutterShape cut = cutterOf(type);
  const TriangleGrid* grid = type == kCutterConeBand ? bm.bandGrid : tm.m.grid;
  dropSetTriModel(tm.m.triangles, tm.m.facetMin, tm.m.facetMax, tm.m.boxMin.z, tm.m.boxMax.z, 0);
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> pos(0, 1000);
  std::vector<Point3D> queries(4096);
  for (Point3D& q : queries) q = Point3D{pos(rng), pos(rng), 0};
  const double start = tm.m.boxMin.z - 50, ref = tm.m.boxMax.z + 20;
  std::size_t i = 0;
  for (auto _ : state) {
    const Point3D& q = queries[i++ & 4095];
    Point3D position{q.x, q.y, start};
    Point3D contact{};
    int kindOut = 0;
    const TriangleGridCell* cell = useGrid ? triGridCell(grid, q.x, q.y) : nullptr;
    benchmark::DoNotOptimize(dropPointTris(&position, ref, &cut, cell ? cell->indices : nullptr,
                                           cell ? cell->count : 0, &contact, &kindOut));
    benchmark::DoNotOptimize(position);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["triangles"] = tm.m.triangles->count;
}

void BM_PointDropGrid(benchmark::State& state) { dropBench(state, true); }
void BM_PointDropAllFacets(benchmark::State& state) { dropBench(state, false); }

void meshArgs(benchmark::internal::Benchmark* b) {
  for (int kind : {kTerrain, kSphere}) {
    for (int count : {1000, 10000, 100000, 1000000}) {
      for (int type : {kCutterBall, kCutterFlat, kCutterTorus, kCutterConeBand}) {
        b->Args({kind, count, type});
      }
    }
  }
  b->ArgNames({"mesh", "tris", "cutter"});
}

BENCHMARK(BM_PointDropGrid)->Apply(meshArgs)->MinTime(0.3);
BENCHMARK(BM_PointDropAllFacets)->Apply(meshArgs)->MinTime(0.3);

}  // namespace
