// bench_offset.cpp - offset time of closed contours of 10^2 to 10^5 segments: regular polygons
// outward and inward (a smooth contour whose offset has no loops), a wobbly circle both ways, and
// the region of a spiky star r(t) = R (1 + 0.25 sin 7t + 0.08 sin 53t) with 4 star islands of n/8
// vertices, every contour offset into the region (the outer contour shrinks, the islands grow),
// where the raw offsets cross themselves many times.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "geometry/seg_offset.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

std::vector<Seg2D> closedChain(const std::vector<Point2D>& p) {
  const std::size_t n = p.size();
  std::vector<Seg2D> s(n);
  for (std::size_t i = 0; i < n; ++i)
    s[i] = Seg2D{p[i].x, p[i].y, p[(i + 1) % n].x, p[(i + 1) % n].y};
  return s;
}

std::vector<Seg2D> regularPolygon(int n, double r) {
  std::vector<Point2D> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) p[i] = {r * std::cos(2 * kPi * i / n), r * std::sin(2 * kPi * i / n)};
  return closedChain(p);
}

// The star of radius scale big about (cx, cy), clockwise when cw.
std::vector<Seg2D> spikyStar(int n, double cx, double cy, double big, bool cw) {
  std::vector<Point2D> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n * (cw ? -1.0 : 1.0);
    const double r = big * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    p[i] = {cx + r * std::cos(t), cy + r * std::sin(t)};
  }
  return closedChain(p);
}

// The outer star (R = 10) and its 4 islands (R = 1 at 4.5 from the centre).
std::vector<std::vector<Seg2D>> starRegion(int n) {
  std::vector<std::vector<Seg2D>> region{spikyStar(n, 0, 0, 10, false)};
  for (int i = 0; i < 4; ++i) {
    const double a = kPi / 4 + i * kPi / 2;
    region.push_back(spikyStar(std::max(3, n / 8), 4.5 * std::cos(a), 4.5 * std::sin(a), 1, true));
  }
  return region;
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

// The wobbly circle of the Boolean benchmark (R = 10) offset by 0.5, outward and inward.
void BM_OffsetWobblyCircle(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<Point2D> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n;
    const double r = 10.0 * (1.0 + 0.03 * std::sin(5.0 * t) + 0.01 * std::sin(23.0 * t));
    p[i] = {r * std::cos(t), r * std::sin(t)};
  }
  const std::vector<Seg2D> in = closedChain(p);
  std::vector<Seg2D> out(2 * in.size() + 2);
  int failed = 0;
  for (auto _ : state) {
    failed = 0;
    for (const int side : {-1, 1}) {
      segOffsetResetState();
      failed +=
          segOffsetContour(in.data(), n, 0.5, out.data(), static_cast<int>(out.size()), side) <= 0;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (failed > 0) state.SkipWithError("no offset");
  state.SetComplexityN(n);
}

// Every contour of the star region offset into the region by d = 0.5 (5 percent of the radius).
void BM_OffsetStarRegion(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<std::vector<Seg2D>> region = starRegion(n);
  std::vector<std::vector<Seg2D>> out;
  for (const auto& c : region) out.emplace_back(2 * c.size() + 2);
  int failed = 0, segments = 0;
  for (auto _ : state) {
    failed = segments = 0;
    for (std::size_t k = 0; k < region.size(); ++k) {
      segOffsetResetState();
      const int r = segOffsetContour(region[k].data(), static_cast<int>(region[k].size()), 0.5,
                                     out[k].data(), static_cast<int>(out[k].size()), 1);
      failed += r <= 0 ? 1 : 0;
      segments += r > 0 ? r : 0;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (failed > 0) state.SkipWithError("a contour gave no offset");
  state.SetComplexityN(n);
  state.counters["segments_out"] = segments;
}
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
BENCHMARK(BM_OffsetWobblyCircle)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_OffsetStarRegion)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
