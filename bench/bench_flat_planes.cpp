// bench_flat_planes.cpp - the flat-plane support: outlines of a cell region (a disc with a lattice
// of holes) of 10^2, 10^4 and 10^6 cells by the indexed chaining against the plain scan, and the
// three raster markings of the wheel in a box's flat faces on rasters of 10^4 to 10^6 cells.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geometry/lists.h"
#include "geometry/raster.h"
#include "support/mesh_gen.h"
#include "zlevel/grid_bnd_trace.h"
#include "zlevel/step_opt_mark.h"

namespace {

// A disc filling the square matrix with 3 x 3 holes every 50 cells.
IntMatrix* discWithHoles(int n) {
  IntMatrix* m = gridIntNew(n, n);
  const double c = 0.5 * (n - 1);
  const double r = 0.45 * n;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const bool in = std::hypot(i - c, j - c) <= r;
      const bool hole = n >= 50 && i % 50 >= 20 && i % 50 < 23 && j % 50 >= 20 && j % 50 < 23;
      m->cells[static_cast<std::size_t>(i) * n + j] = in && !hole ? 1 : 0;
    }
  }
  return m;
}

void traceBench(benchmark::State& state, int plain) {
  const int n = static_cast<int>(state.range(0));
  IntMatrix* m = discWithHoles(n);
  Seg2List* l = lstSeg2New(1000);
  gridBndUsePlainChain(plain);
  int segs = 0;
  for (auto _ : state) {
    lstSeg2Reset(l);
    gridBndTrace(m, Point2D{0, 0}, Point2D{1, 1}, l);
    segs = l->count;
    benchmark::DoNotOptimize(l->items);
  }
  gridBndUsePlainChain(0);
  state.counters["cells"] = static_cast<double>(n) * n;
  state.counters["segments"] = segs;
  lstBox2Free(l);
  gridIntFree(m);
}

void BM_GridBndTraceIndexed(benchmark::State& state) { traceBench(state, 0); }
void BM_GridBndTracePlain(benchmark::State& state) { traceBench(state, 1); }
BENCHMARK(BM_GridBndTraceIndexed)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridBndTracePlain)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The wheel's flat faces as an index-mode candidate set over a raster of n x n cells.
struct Scene {
  Tri3List* tris = lstTri3New(64);
  IntList* idx = lstIntNew(64);
  CollCtx ctx{};
  WalkTool tool{2.5, 0.0, 2};
  WalkParams walk{};
  FloatDropNet header{};
  Raster* raster = nullptr;
  SliceContext slice{};
  explicit Scene(int n) {
    for (const auto& t : qdtest::gen::wheelInBox().tris) {
      Tri3D q;
      for (int k = 0; k < 3; ++k) q.v[k] = Point3D{t.v[k].x, t.v[k].y, t.v[k].z};
      if (stepOptIsPlaneTriangle(q, kStepOptFlatNz) == 1) lstTri3Append(tris, q);
    }
    for (int i = 0; i < tris->count; ++i) lstIntAppend(idx, i);
    ctx.triangles = tris;
    ctx.candidates = idx;
    header.x0 = -105;
    header.y0 = -105;
    const double step = 210.0 / n;
    raster = gridRasterNew(&header, n, n, step, step);
    slice.raster = raster;
  }
  ~Scene() {
    gridRasterFree(raster);
    lstIntFree(idx);
    lstBox3Free(tris);
  }
};

void markBench(benchmark::State& state, int strategy) {
  const int n = static_cast<int>(state.range(0));
  Scene s(n);
  for (auto _ : state) {
    gridRasterClear(s.raster);
    if (strategy == 0) stepOptMarkByGrid(&s.ctx, &s.tool, &s.walk, &s.slice);
    if (strategy == 1) stepOptMarkByTrees(&s.ctx, &s.tool, &s.walk, &s.slice);
    if (strategy == 2) stepOptMarkBrute(&s.ctx, &s.tool, &s.walk, &s.slice);
    benchmark::DoNotOptimize(s.raster->freeCount);
  }
  state.counters["cells"] = static_cast<double>(n) * n;
  state.counters["faces"] = s.tris->count;
}

void BM_MarkByGrid(benchmark::State& state) { markBench(state, 0); }
void BM_MarkByTrees(benchmark::State& state) { markBench(state, 1); }
void BM_MarkBrute(benchmark::State& state) { markBench(state, 2); }
BENCHMARK(BM_MarkByGrid)->Arg(100)->Arg(316)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkByTrees)->Arg(100)->Arg(316)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkBrute)->Arg(100)->Arg(316)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
