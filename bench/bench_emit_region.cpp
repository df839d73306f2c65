// bench_emit_region.cpp - thinning and emission of dense region paths of 10^3 to 4 x 10^4 points
// with a counting point callback (no output): a noisy zig-zag of many short runs, and one long
// straight dense run with a large chord limit, where every candidate point checks all points
// back to its kept neighbour.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "cycles/emit_point.h"
#include "cycles/emit_region.h"
#include "geometry/path_list.h"

namespace {

long benchSent = 0;
int benchCount(Point3D*, int) {
  ++benchSent;
  return 0;
}

// n points: runs of 200 points 0.05 apart with a little noise, separated by gaps.
PathList* benchZigZag(int n) {
  PathList* l = pathListNew(n, 0);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> noise(-0.001, 0.001);
  for (int i = 0; i < n; ++i) {
    const int run = i / 200;
    const double t = (i % 200) * 0.05;
    l->positions[i] = {run % 2 == 0 ? t : 10 - t, run * 0.5 + noise(rng), -2 + noise(rng)};
    l->codes[i] = static_cast<std::uint16_t>(((i % 200 == 0 && i > 0) ? 2 : 0) << 8 | 1);
    l->params[i] = i;
  }
  l->count = n;
  l->sense = 1;
  return l;
}

// One straight run of n points 0.01 apart.
PathList* benchStraight(int n) {
  PathList* l = pathListNew(n, 0);
  for (int i = 0; i < n; ++i) {
    l->positions[i] = {i * 0.01, 0, -2};
    l->codes[i] = 1;
    l->params[i] = i;
  }
  l->count = n;
  l->sense = 1;
  return l;
}

MachiningParams benchParams(double stepMax) {
  MachiningParams m;
  m.approach.approachKind = 0;
  m.approach.retractKind = 0;
  m.approach.approachLength = 3;
  m.approach.retractLength = 3;
  m.maxStep = stepMax;
  m.minStep = 0.005;
  m.stayDown = 0;
  return m;
}

void run(benchmark::State& state, PathList* (*make)(int), double stepMax) {
  const int n = static_cast<int>(state.range(0));
  const MachiningParams m = benchParams(stepMax);
  emitSetCallbacks(benchCount, nullptr, nullptr);
  for (auto _ : state) {
    state.PauseTiming();
    PathList* path = make(n);
    emitReset();
    state.ResumeTiming();
    emitThinPath(path, m.maxStep, m.minStep, m.axisChangeCos);
    benchmark::DoNotOptimize(emitRegionPath(path, &m, nullptr));
    state.PauseTiming();
    pathListFree(path);
    state.ResumeTiming();
  }
  emitClearCallbacks();
  state.SetComplexityN(n);
}

void BM_EmitZigZag(benchmark::State& state) { run(state, benchZigZag, 1.0); }
void BM_EmitStraightLargeStepMax(benchmark::State& state) { run(state, benchStraight, 1000.0); }
void BM_EmitStraightSmallStepMax(benchmark::State& state) { run(state, benchStraight, 1.0); }

BENCHMARK(BM_EmitZigZag)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmitStraightLargeStepMax)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmitStraightSmallStepMax)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
