// bench_rough_levels.cpp - the roughing controller on every real part, with the per-region step
// replaced by a recorder: drop grid, level list, the level loop with its slicing and the Z-path
// file round trip. Step-downs of 0.5 R and 0.1 R, with R = max(box x, box y) / 40 in the file's
// units (the tool radius 10 of the scaled system) and the tolerance R / 1000.
//
// Counters: levels sliced, Z paths handed on, ms per level, the share of the slicing (time inside
// the level slice) and of the Z-path file round trip (the paths written and read back once more,
// timed, as the controller does it).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cycles/rough_control.h"
#include "cycles/rough_setup.h"
#include "cycles/run_reset.h"
#include "framework/global_params.h"
#include "framework/memory.h"
#include "framework/messages.h"
#include "model/model_fixture.h"
#include "support/real_meshes.h"
#include "zlevel/level_fixture.h"
#include "zlevel/level_slice.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kFiles[] = {"sphere_on_plate.stl", "wheel_in_box.stl",  "ktoolcav.stl",
                              "ktoolcor.stl",        "pycam-textbox.stl", "cone_on_side.stl"};

struct Tally {
  double sliceSeconds = 0;
  double roundTripSeconds = 0;
  int slices = 0;
  int paths = 0;
  int levels = 0;
};
Tally tally;

int timedSlice(CollCtx* ctx, WalkTool* tool, WalkParams* params, SliceContext* slice) {
  const auto t0 = Clock::now();
  const int r = arczLevelPaths(ctx, tool, params, slice);
  tally.sliceSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
  ++tally.slices;
  return r;
}

int recordRegion(const RoughRegionInput* in, MachiningParams*, SurfaceModel*) {
  tally.paths += in->paths->count;
  tally.levels += in->levelsDoneCount;
  const auto t0 = Clock::now();
  zpathFileTruncate("bench_round_trip.zpa");
  for (int i = 0; i < in->paths->count; ++i)
    zpathFileAppend("bench_round_trip.zpa", &in->paths->items[i]);
  ZPathList* back = zpathListRead("bench_round_trip.zpa");
  zpathListFree(back);
  tally.roundTripSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
  return 0;
}
int noFinish(const MachiningParams*, const SurfaceModel*) { return 0; }

void BM_RoughLevels(benchmark::State& state) {
  const char* file = kFiles[state.range(0)];
  const double stepFactor = state.range(1) == 0 ? 0.5 : 0.1;
  state.SetLabel(std::string(file) + (stepFactor == 0.5 ? " step 0.5R" : " step 0.1R"));
  if (!qdtest::realMeshFolderPresent()) {
    state.SkipWithError(qdtest::realMeshFolderMissing().c_str());
    return;
  }
  const std::vector<Tri3D> tris = qdtest::readTriangles(qdtest::dataPath(file));
  if (tris.empty()) {
    state.SkipWithError("the part does not load");
    return;
  }
  double x0 = 1e300, y0 = 1e300, z0 = 1e300, x1 = -1e300, y1 = -1e300, z1 = -1e300;
  for (const Tri3D& t : tris)
    for (const Point3D& v : t.v) {
      x0 = std::min(x0, v.x), y0 = std::min(y0, v.y), z0 = std::min(z0, v.z);
      x1 = std::max(x1, v.x), y1 = std::max(y1, v.y), z1 = std::max(z1, v.z);
    }
  const double R = std::max(x1 - x0, y1 - y0) / 40.0;
  double total = 0;
  Tally last;
  for (auto _ : state) {
    cyc3dResetRunState(nullptr);
    roughSetSliceFn(timedSlice);
    roughSetRegionFn(recordRegion);
    roughSetFinishFn(noFinish);
    GlobalParams& g = *parGlobalBlock();
    std::snprintf(g.approx, sizeof g.approx, "%s", qdtest::dataPath(file).c_str());
    std::snprintf(g.apt, sizeof g.apt, "%s", "bench.pof");
    std::snprintf(g.tmpDir, sizeof g.tmpDir, "%s", ".");
    g.boundary[0] = '\0';
    g.frradius = R;
    g.gridFactor = 0.5;
    g.precision = R / 1000.0;
    g.vertzustel = stepFactor * R;
    g.minStepdown = R / 1000.0;
    g.oberfl = z1;
    g.tief = z0;
    g.aufmass = 0;
    g.aufmassHori = 0;
    g.stepMode = 2;
    g.sichebene = z1 + 10 * R;
    SurfaceModel model{};
    modelInit(&model, 3);
    model.cutter = static_cast<CutterShape*>(memAllocZero(sizeof(CutterShape)));
    *model.cutter = qdtest::makeCutter(1, R, R);
    tally = Tally{};
    const auto t0 = Clock::now();
    const int stop = roughControl(roughMachiningParams(), &model);
    // The recorder's own round trip repeats the controller's; it is not the controller's time.
    total = std::chrono::duration<double>(Clock::now() - t0).count() - tally.roundTripSeconds;
    benchmark::DoNotOptimize(stop);
    last = tally;
    modelFreeContents(&model);
    memFree(model.cutter);
    roughSetSliceFn(nullptr);
    roughSetRegionFn(nullptr);
    roughSetFinishFn(nullptr);
  }
  std::remove("tmp.zpa");
  std::remove("bench_round_trip.zpa");
  std::remove("rep.txt");
  state.counters["levels"] = last.levels;
  state.counters["paths"] = last.paths;
  state.counters["ms_per_level"] = last.levels > 0 ? 1000.0 * total / last.levels : 0;
  state.counters["slice_share"] = total > 0 ? last.sliceSeconds / total : 0;
  state.counters["zpa_round_trip_share"] = total > 0 ? last.roundTripSeconds / total : 0;
}
BENCHMARK(BM_RoughLevels)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
