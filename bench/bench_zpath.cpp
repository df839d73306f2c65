// bench_zpath.cpp - the size test and the removal of identical paths, each against its plain
// method. Size test: a traced loop (a noisy circle, every point on its hull) and a random cloud
// of 10^3 and 10^4 points, tested with a size just above their diameter, so that the plain method
// compares every pair. Removal: one level of 100 and 1000 near-equal paths (one shape and size),
// spread over the plane or stacked over one another, every tenth a near copy of the one before
// (which goes); the plain method applies its tests to every pair.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "zlevel/zpath.h"
#include "zlevel/zpath_file.h"

namespace {

ZPath* loopPath(int n, bool cloud) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  ZPath* path = zpathNew(n);
  zpathSetMergeLength(0.0);
  for (int i = 0; i < n; ++i) {
    const double a = 2.0 * std::numbers::pi * i / n;
    const double r = 50.0 + 0.01 * u(rng);
    const float pt[2] = {static_cast<float>(cloud ? 50.0 * u(rng) : r * std::cos(a)),
                         static_cast<float>(cloud ? 50.0 * u(rng) : r * std::sin(a))};
    zpathAppendPoint(path, pt, nullptr, 1, 1);
  }
  zpathResetState();
  path->closed = 1;
  return path;
}

double diameter(const ZPath* path) {
  double best = 0;
  for (int i = 0; i < path->count; ++i)
    for (int j = i + 1; j < path->count; ++j) {
      const double dx = static_cast<double>(path->points[2 * i]) - path->points[2 * j];
      const double dy = static_cast<double>(path->points[2 * i + 1]) - path->points[2 * j + 1];
      best = std::fmax(best, dx * dx + dy * dy);
    }
  return std::sqrt(best);
}

template <int (*Test)(const ZPath*, double)>
void BM_ExceedsSize(benchmark::State& state) {
  ZPath* path = loopPath(static_cast<int>(state.range(0)), state.range(1) != 0);
  const double size = diameter(path) * (1.0 + 1e-6);
  for (auto _ : state) benchmark::DoNotOptimize(Test(path, size));
  if (Test(path, size) != 0) state.SkipWithError("the size should hold the path");
  state.SetItemsProcessed(state.iterations() * path->count);
  zpathFree(path);
}

// One level of n paths of one shape. Spread: on a grid, apart from each other. Stacked: all
// over one another, each shifted by up to 5 in x and y, so every pair passes the box, area and
// diagonal tests. Every tenth path repeats the one before within 1e-5.
ZPathList* levelOf(int n, bool stacked) {
  ZPathList* list = zpathListNew(n);
  std::mt19937 rng(3);
  std::normal_distribution<double> jitter(0.0, 1e-5);
  std::uniform_real_distribution<double> shift(0.0, 5.0);
  const int side = static_cast<int>(std::ceil(std::sqrt(n)));
  double x = 0, y = 0;
  for (int i = 0; i < n; ++i) {
    if (i % 10 == 9) {
      x += jitter(rng);
      y += jitter(rng);
    } else if (stacked) {
      x = shift(rng);
      y = shift(rng);
    } else {
      x = 12.0 * (i % side);
      y = 12.0 * (i / side);
    }
    ZPath* path = zpathNew(24);
    for (int k = 0; k < 24; ++k) {
      const double a = 2.0 * std::numbers::pi * k / 24;
      const float pt[2] = {static_cast<float>(x + 5 * std::cos(a)),
                           static_cast<float>(y + 4 * std::sin(a))};
      zpathAppendPoint(path, pt, nullptr, 3, 1);
    }
    path->z = -2.0;
    path->closed = 1;
    path->orientation = zpathOrientation(path);
    path->area = zpathArea(path);
    zpathListAdd(list, path);
    zpathFree(path);
  }
  return list;
}

template <int (*Remove)(ZPathList*)>
void BM_RemoveIdentical(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ZPathList* source = levelOf(n, state.range(1) != 0);
  int left = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ZPathList* list = zpathListNew(n);
    for (int i = 0; i < n; ++i) zpathListAdd(list, &source->items[i]);
    state.ResumeTiming();
    Remove(list);
    left = list->count;
    state.PauseTiming();
    zpathListFree(list);
    state.ResumeTiming();
  }
  state.counters["paths_left"] = left;
  zpathListFree(source);
}

void sizeArgs(benchmark::internal::Benchmark* b) {
  for (int cloud : {0, 1})
    for (int n : {1000, 10000}) b->Args({n, cloud});
}

BENCHMARK(BM_ExceedsSize<zpathExceedsSize>)->Apply(sizeArgs)->ArgNames({"points", "cloud"});
BENCHMARK(BM_ExceedsSize<zpathExceedsSizePlain>)->Apply(sizeArgs)->ArgNames({"points", "cloud"});
void levelArgs(benchmark::internal::Benchmark* b) {
  for (int stacked : {0, 1})
    for (int n : {100, 1000}) b->Args({n, stacked});
}

BENCHMARK(BM_RemoveIdentical<zpathListRemoveIdentical>)
    ->Apply(levelArgs)
    ->ArgNames({"paths", "stacked"});
BENCHMARK(BM_RemoveIdentical<zpathListRemoveIdenticalPlain>)
    ->Apply(levelArgs)
    ->ArgNames({"paths", "stacked"});

}  // namespace
