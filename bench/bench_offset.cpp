// Offset time of closed regular polygons of 10^2 to 10^5 segments, outward and inward, to show
// how the offset grows with the segment count.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "geometry/seg_offset.h"

namespace {
std::vector<Seg2D> regularPolygon(int n, double r) {
  constexpr double kPi = 3.14159265358979323846;
  std::vector<Seg2D> s(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double a0 = 2 * kPi * i / n, a1 = 2 * kPi * (i + 1) / n;
    s[i] = Seg2D{r * std::cos(a0), r * std::sin(a0), r * std::cos(a1), r * std::sin(a1)};
  }
  s[n - 1].x2 = s[0].x1;
  s[n - 1].y2 = s[0].y1;
  return s;
}

void offsetPolygon(benchmark::State& state, int side) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Seg2D> in = regularPolygon(n, 1000.0);
  std::vector<Seg2D> out(2 * in.size() + 2);
  int result = 0;
  for (auto _ : state) {
    segOffsetResetState();
    result = segOffsetContour(in.data(), n, 5.0, out.data(), static_cast<int>(out.size()), side);
    benchmark::DoNotOptimize(out.data());
  }
  if (result <= 0) state.SkipWithError("no offset");
  state.SetComplexityN(n);
  state.counters["segments_out"] = result;
}

void BM_OffsetOutward(benchmark::State& state) { offsetPolygon(state, -1); }
void BM_OffsetInward(benchmark::State& state) { offsetPolygon(state, 1); }
}  // namespace

BENCHMARK(BM_OffsetOutward)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_OffsetInward)
    ->RangeMultiplier(10)
    ->Range(100, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
