// bench_level_pocket.cpp - what pocketing one level through the nested pocket cycle costs beyond
// the pocketing itself: writing the exchange and parameter files, reading the nested run's POF
// back with its arc stepping, and the whole level (files, nested run, read-back) on a rectangle
// with k islands and on sliced levels of a real part; and the boundary test of the exchange
// writer through its grid against the plain scan, for 10^3 to 10^5 boundary segments.
//
// Lengths are scaled (tool radius 10). Every benchmark runs in a temporary folder of its own.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cycles/level_paths.h"
#include "cycles/level_pocket.h"
#include "cycles/level_pocket_xchg.h"
#include "framework/global_params.h"
#include "geometry/kont2d.h"
#include "geometry/kont_shapes.h"
#include "output/pof_reader.h"
#include "support/real_meshes.h"
#include "zlevel/level_fixture.h"
#include "zlevel/zpath.h"

namespace {

// A fresh temporary folder as the working folder while alive.
class TempFolder {
 public:
  TempFolder() {
    previous_ = std::filesystem::current_path();
    char pattern[] = "/tmp/bench_level_pocket_XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      path_ = pattern;
      std::filesystem::current_path(path_);
    }
  }
  ~TempFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path previous_;
  std::string path_;
};

// A 40 x 40 per island rectangle with k square islands in a row (tool-centre contours).
struct RectLevel {
  Kont2D* region = nullptr;
  std::vector<ZPath> paths;
  std::vector<ZPath*> owned;
  explicit RectLevel(int k, double z) {
    const double w = 40.0 * (k > 0 ? k : 1);
    const std::vector<Point2D> outer{{0, 0}, {w, 0}, {w, 40}, {0, 40}};
    region = qdtest::kontFromPoints(outer, z);
    owned.push_back(lptest::pathFromPoints(outer, z, 0, 0));
    for (int i = 0; i < k; ++i) {
      const double x = 40.0 * i + 15;
      owned.push_back(
          lptest::pathFromPoints({{x, 15}, {x, 25}, {x + 10, 25}, {x + 10, 15}}, z, 1, 1));
    }
    for (ZPath* p : owned) paths.push_back(*p);
  }
  ~RectLevel() {
    for (ZPath* p : owned) zpathFree(p);
    kontFree(region);
  }
};

void setUpBlock() {
  parResetState();
  levelPocketResetState();
  pofReadResetState();
}

// Exchange and parameter files of one level.
void BM_LevelFiles(benchmark::State& state) {
  TempFolder folder;
  setUpBlock();
  RectLevel level(static_cast<int>(state.range(0)), -5);
  for (auto _ : state) {
    benchmark::DoNotOptimize(zcontWritePocket("tmp.qdx", level.region, level.paths.data(),
                                              static_cast<int>(level.paths.size()), 0));
    benchmark::DoNotOptimize(levelPocketWritePcf("tmp.pcf", 10, -5, 0));
  }
  state.counters["islands"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_LevelFiles)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);

// One whole level: files, nested run, read-back (the pocketing itself included).
void BM_LevelWhole(benchmark::State& state) {
  TempFolder folder;
  setUpBlock();
  RectLevel level(static_cast<int>(state.range(0)), -5);
  PathList* out = pathListNew(10000, 1);
  int result = 0;
  for (auto _ : state) {
    zcontWritePocket("tmp.qdx", level.region, level.paths.data(),
                     static_cast<int>(level.paths.size()), 0);
    result = levelPocketContour(10, -5, out, 0);
  }
  state.counters["result"] = result;
  state.counters["points"] = out->count;
  pathListFree(out);
}
BENCHMARK(BM_LevelWhole)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// The read-back of the nested run's POF of the same level alone, arcs stepped at "*STEP_MIN".
void BM_LevelReadBack(benchmark::State& state) {
  TempFolder folder;
  setUpBlock();
  parGlobalBlock()->stepMin = state.range(1) / 1000.0;
  RectLevel level(static_cast<int>(state.range(0)), -5);
  PathList* out = pathListNew(10000, 1);
  zcontWritePocket("tmp.qdx", level.region, level.paths.data(),
                   static_cast<int>(level.paths.size()), 0);
  if (levelPocketContour(10, -5, out, 0) != 1) {
    state.SkipWithError("the level does not pocket");
    pathListFree(out);
    return;
  }
  for (auto _ : state) {
    levelPocketSetPath(out);
    out->count = 0;
    benchmark::DoNotOptimize(pofReadBack("tmp.pof"));
  }
  state.counters["points"] = out->count;
  pathListFree(out);
}
BENCHMARK(BM_LevelReadBack)
    ->ArgsProduct({{4, 16}, {10, 1}})
    ->ArgNames({"islands", "step_min_1e-3"})
    ->Unit(benchmark::kMicrosecond);

// Sliced levels of sphere_on_plate.stl (the part scaled so that the ball has radius 10): files,
// nested run and read-back per level.
void BM_LevelSliced(benchmark::State& state) {
  if (!qdtest::realMeshFolderPresent()) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  TempFolder folder;
  setUpBlock();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath("sphere_on_plate.stl"));
  const double scale = qdtest::scaleToTool(tris);
  qdtest::LevelPart part(tris, 1, 10.0, 5.0);
  const double tips[] = {16.0, 22.9, 30.0};
  const double Z = tips[state.range(0)] * scale + 10.0;
  if (part.slice(Z, 0.01) < 0) {
    state.SkipWithError("the level does not slice");
    return;
  }
  ZPathList* list = zpathListNew(8);
  part.pathsInto(list, Z);
  lptest::markNesting(list);
  Kont2D* region = part.region();
  region->z = Z;
  PathList* out = pathListNew(10000, 1);
  int result = 0;
  for (auto _ : state) {
    zcontWritePocket("tmp.qdx", region, list->items, list->count, 0);
    result = levelPocketContour(10, Z, out, 0);
  }
  state.counters["result"] = result;
  state.counters["paths"] = list->count;
  state.counters["points"] = out->count;
  pathListFree(out);
  zpathListFree(list);
}
BENCHMARK(BM_LevelSliced)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The boundary test of the exchange writer: n boundary segments (a star outline and two islands),
// 1000 queries near the boundary; range(1) 1 through the grid (built once per iteration, as the
// writer builds it once per file), 0 the plain scan.
void BM_PointInRegions(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool grid = state.range(1) != 0;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 1);
  auto star = [&](Point2D c, int m, double r0, double r1, bool cw) {
    std::vector<Point2D> p;
    for (int i = 0; i < m; ++i) {
      const double a = 2 * M_PI * i / m * (cw ? -1 : 1);
      const double r = r0 + (r1 - r0) * u(rng);
      p.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    return p;
  };
  Kont2D* region = qdtest::kontFromPoints(star({0, 0}, n - 200, 900, 1000, false), 0);
  Kont2D* i1 = qdtest::kontFromPoints(star({-300, 0}, 100, 100, 150, true), 0);
  Kont2D* i2 = qdtest::kontFromPoints(star({300, 0}, 100, 100, 150, true), 0);
  region->child = i1;
  i1->prev = region;
  i1->next = i2;
  i2->prev = i1;
  std::vector<Seg2D> queries;
  for (int i = 0; i < 1000; ++i) {
    const Seg2D& e = region->segments[(i * 7919) % region->count];
    const double t = u(rng), d = 0.002 * (u(rng) - 0.5);
    const double mx = e.x1 + t * (e.x2 - e.x1) + d, my = e.y1 + t * (e.y2 - e.y1);
    queries.push_back({mx - 0.5, my - 0.3, mx + 0.5, my + 0.3});
  }
  int hits = 0;
  for (auto _ : state) {
    hits = 0;
    if (grid) {
      ZcontRegionIndex* index = zcontRegionIndexBuild(region);
      for (const Seg2D& q : queries)
        hits += zcontPointInRegionsIndexed(index, q.x1, q.y1, q.x2, q.y2);
      zcontRegionIndexFree(index);
    } else {
      for (const Seg2D& q : queries) hits += zcontPointInRegions(region, q.x1, q.y1, q.x2, q.y2);
    }
    benchmark::DoNotOptimize(hits);
  }
  state.counters["hits"] = hits;
  state.counters["segments"] = n;
  kontFree(region);
}
BENCHMARK(BM_PointInRegions)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"segments", "grid"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
