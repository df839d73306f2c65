// bench_slice_level.cpp - time of slicing one level (arczLevelPaths with its walker preparation,
// tracing and closing) on real parts, with the loops made and the loops the net's nodes imply
// (8-connected blocked plus 4-connected free components less one) as counters; and a whole
// region sliced from the top down with and without the culling of the candidates after each
// level.
//
// Each part is scaled so that a tool of diameter max(box x, box y) / 20 has the radius 10; the
// tolerance is 0.01 and the level net's nodes lie R/2 apart, filled by point drops. Levels are
// tip heights in the file's units (the slicing gets tip + corner radius). The ball cases are the
// common case; the flat end mill and torus cases are levels that failed or missed a loop: the
// plate top (failed with "nothing added"), the text box's slot between two node rows (4 loops of
// 5), ktoolcor a hair below its face 1.0625 (the torus walk ran back along itself).
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/real_meshes.h"
#include "zlevel/coll_cull.h"
#include "zlevel/level_fixture.h"

namespace {

struct Case {
  const char* name;
  const char* file;
  double z;      // tip height in the file's units; NaN: mid-height of the part
  int type;      // cutter type: 1 ball, 2 flat end mill, 3 torus
  bool face;     // z names a flat face: the face's own scaled height is taken
  double shift;  // added to the scaled tip height
};

constexpr double kCorner[4] = {0, 10.0, 0.0, 3.0};  // corner radius by cutter type

const Case kCases[] = {
    // The part's mid-height lies on the plate top; the sphere's mid-height is 22.9.
    {"sphere_on_plate/sphere-mid-height", "sphere_on_plate.stl", 22.9, 1, false, 0},
    {"sphere_on_plate/plate-top", "sphere_on_plate.stl", 14.9359, 1, false, 0},
    {"sphere_on_plate/1%-below-plate-top", "sphere_on_plate.stl", 14.9359 * 0.99, 1, false, 0},
    {"ktoolcav/mid-height", "ktoolcav.stl", std::nan(""), 1, false, 0},
    {"wheel_in_box/between-18-and-22", "wheel_in_box.stl", 20.0, 1, false, 0},
    {"pycam-textbox/between-5-and-2.05", "pycam-textbox.stl", -3.5, 1, false, 0},
    {"flat/sphere_on_plate/plate-top", "sphere_on_plate.stl", 14.9359, 2, true, 0},
    {"flat/pycam-textbox/slot-at-3.5", "pycam-textbox.stl", -3.5, 2, false, 0},
    {"torus/ktoolcor/1e-6-below-1.0625", "ktoolcor.stl", 1.0625, 3, true, -1e-6},
};
constexpr int kCaseCount = static_cast<int>(sizeof kCases / sizeof kCases[0]);

struct Loaded {
  std::unique_ptr<qdtest::LevelPart> part;
  double scale = 1;
  double zmin = 0, zmax = 0;  // file units
};

Loaded* partOf(const char* file, bool listMode, int type = 1) {
  static std::map<std::string, std::unique_ptr<Loaded>> cache;
  const std::string key =
      std::string(file) + (listMode ? "/list" : "/index") + "/" + std::to_string(type);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second.get();
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath(file));
  if (tris.empty()) return nullptr;
  auto loaded = std::make_unique<Loaded>();
  loaded->zmin = 1e300;
  loaded->zmax = -1e300;
  for (const Tri3D& t : tris)
    for (const Point3D& v : t.v) {
      loaded->zmin = std::min(loaded->zmin, v.z);
      loaded->zmax = std::max(loaded->zmax, v.z);
    }
  loaded->scale = qdtest::scaleToTool(tris);
  loaded->part = std::make_unique<qdtest::LevelPart>(tris, type, kCorner[type], 5.0);
  if (listMode) loaded->part->useListMode();
  Loaded* out = loaded.get();
  cache[key] = std::move(loaded);
  return out;
}

void BM_SliceLevel(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  state.SetLabel(c.name);
  if (!qdtest::realMeshFolderPresent()) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  Loaded* l = partOf(c.file, false, c.type);
  if (l == nullptr) {
    state.SkipWithError("the part does not load");
    return;
  }
  const double tip = std::isnan(c.z) ? 0.5 * (l->zmin + l->zmax) : c.z;
  double scaledTip = tip * l->scale;
  // A flat face named by its height in the file: the face's own height after scaling.
  for (int i = 0; c.face && i < l->part->model().triangles->count; ++i) {
    const Tri3D& t = l->part->model().triangles->items[i];
    if (t.v[0].z == t.v[1].z && t.v[0].z == t.v[2].z && std::fabs(t.v[0].z - scaledTip) < 1e-3) {
      scaledTip = t.v[0].z;
      break;
    }
  }
  const double Z = scaledTip + c.shift + kCorner[c.type];
  int result = 0;
  for (auto _ : state) {
    result = l->part->slice(Z, 0.01);
    benchmark::DoNotOptimize(result);
  }
  const qdtest::LevelCounts k = l->part->rasterCounts();
  state.counters["result"] = result;
  state.counters["loops"] = l->part->pieceStarts()->count;
  state.counters["node_loops"] = k.paths();
  state.counters["segments"] = l->part->traced()->count;
}
BENCHMARK(BM_SliceLevel)->DenseRange(0, kCaseCount - 1)->Unit(benchmark::kMillisecond);

// A whole region from the top down, levels R/2 apart, in list mode; range(1) 1 culls the
// candidates by each level's paths (levels whose paths all have an area of at least 1).
void BM_SliceRegion(benchmark::State& state) {
  const char* file = state.range(0) == 0 ? "sphere_on_plate.stl" : "wheel_in_box.stl";
  const bool cull = state.range(1) != 0;
  state.SetLabel(std::string(file) + (cull ? " culled" : " plain"));
  if (!qdtest::realMeshFolderPresent()) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath(file));
  qdtest::scaleToTool(tris);
  int levels = 0;
  long left = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto part = std::make_unique<qdtest::LevelPart>(tris, 1, 10.0, 5.0);
    part->useListMode();
    const double top = part->model().boxMax.z, bottom = part->model().boxMin.z;
    state.ResumeTiming();
    levels = 0;
    for (double tip = top - 2.5; tip > bottom; tip -= 5.0) {
      const double Z = tip + 10.0;
      if (part->slice(Z, 0.01) < 0) continue;
      ++levels;
      if (!cull) continue;
      ZPathList* list = zpathListNew(8);
      part->pathsInto(list, Z);
      bool large = list->count > 0;
      for (int i = 0; i < list->count; ++i) large = large && std::fabs(list->items[i].area) >= 1;
      if (large) zpathListCullCollisionSet(list, &part->ctx(), &part->tool());
      zpathListFree(list);
    }
    left = collSetCount(&part->ctx());
    state.PauseTiming();
    part.reset();
    state.ResumeTiming();
  }
  state.counters["levels"] = levels;
  state.counters["candidates_left"] = static_cast<double>(left);
}
BENCHMARK(BM_SliceRegion)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
