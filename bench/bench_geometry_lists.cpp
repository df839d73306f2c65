// Appending to the growable lists and sorting records with the common sort: amortised constant
// appends, and sort cost on both sides of the shell/heap threshold.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "geometry/lists.h"
#include "geometry/lst_sort.h"

namespace {
int byDouble(const void* a, const void* b) {
  const double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

void BM_Seg2Append(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Seg2List* l = lstSeg2New(0);
    for (int i = 0; i < n; ++i) lstSeg2Append(l, Seg2D{double(i), 0.0, double(i + 1), 1.0});
    benchmark::DoNotOptimize(l->xmax);
    lstBox2Free(l);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Seg2Append)->Arg(1000)->Arg(100000);

void BM_LstSort(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> input(n);
  for (double& v : input) v = u(rng);
  std::vector<double> work;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    lstSort(work.data(), n, sizeof(double), byDouble);
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_LstSort)->Arg(1000)->Arg(9999)->Arg(10000)->Arg(100000);
}  // namespace
