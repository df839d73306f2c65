// The contour offset on a star-shaped pocket with four round islands: the outer contour
// r(t) = R (1 + 0.25 sin 7t + 0.08 sin 53t) as N lines (R = 100), four circles of N / 8 lines of
// radius 8 about (+-40, +-40), offset by R / 40 = 2.5 (the outer contour inward, the islands
// outward), as one ring of a pocket. Reported per region: time, its ratio to the round offset of
// the same region by Clipper2 (4.2 ms at N = 1,000, 66 ms at 10,000, measured elsewhere), offset
// attempts per call, loops and elements. The self-crossing search on the outer raw offset is timed
// by its box sweep and by the search over all pairs. At N = 100,000 the outer contour exceeds the
// element limit: the refusal (code 3029) is recorded instead of a time.
// The dense spiky star (a random radius in [8, 10] at each of n vertices, the spiky family of
// bench_kont_boolean) offset inward by 0.25, the distance of the walker-traced offset's bench
// (R / 40 with R = 10), by both offsets: the region is one loop of area about 201, 193 and 191 for
// n = 1,000, 3,000 and 10,000. Reported: time, result, attempts and area.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/kont_region.h"
#include "geometry/offset2d.h"
#include "pocket/contour_offset.h"
#include "pocket/engine_state.h"
#include "pocket/offset_raw.h"
#include "pocket/self_isect.h"
#include "zlevel/zlevel_hooks.h"

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kRadius = 100.0;
constexpr double kDistance = kRadius / 40.0;

std::vector<ContourElement> closedPolygon(const std::vector<Point2D>& p) {
  std::vector<ContourElement> v;
  v.reserve(p.size());
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D a = p[i], b = p[(i + 1) % p.size()];
    v.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
  }
  return v;
}

// The region: the outer contour counter-clockwise first, then the islands clockwise.
std::vector<std::vector<ContourElement>> region(int n) {
  std::vector<std::vector<ContourElement>> r;
  std::vector<Point2D> outer;
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n;
    const double rr = kRadius * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    outer.push_back({rr * std::cos(t), rr * std::sin(t)});
  }
  r.push_back(closedPolygon(outer));
  const int m = n / 8;
  for (int q = 0; q < 4; ++q) {
    const Point2D c{q & 1 ? 40.0 : -40.0, q & 2 ? 40.0 : -40.0};
    std::vector<Point2D> island;
    for (int i = 0; i < m; ++i) {
      const double t = -2 * kPi * i / m;
      island.push_back({c.x + 8 * std::cos(t), c.y + 8 * std::sin(t)});
    }
    r.push_back(closedPolygon(island));
  }
  return r;
}

int gAttempts = 0;
void countAttempt(const ContourElement*, int, double, int) { ++gAttempts; }

// Clipper2's time for the region's round offset, in ms.
double clipperMs(int n) { return n == 1000 ? 4.2 : n == 10000 ? 66.0 : 0.0; }

void BM_RegionOffset(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto contours = region(n);
  std::vector<ContourElement> out(2 * kContMaxElements);
  std::vector<ContourElement*> starts(kOffsetMaxLoops + 1);
  std::vector<int> counts(kOffsetMaxLoops + 1);
  pockRunReset();
  contOffsetResetState();
  contOffsetSetObserver(countAttempt);
  gAttempts = 0;
  long calls = 0, loops = 0, elements = 0;
  double seconds = 0;
  bool failed = false;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& c : contours) {
      const int r = contOffset(c.data(), static_cast<int>(c.size()), 1, kDistance, out.data(),
                               static_cast<int>(out.size()), nullptr, starts.data(), counts.data());
      ++calls;
      failed = failed || r <= 0;
      for (int k = 0; k < r; ++k) elements += counts[static_cast<std::size_t>(k)];
      loops += r > 0 ? r : 0;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  contOffsetResetState();
  if (failed) state.SkipWithError("an offset failed");
  const double iterations = static_cast<double>(state.iterations());
  const double ms = 1000.0 * seconds / iterations;
  state.counters["ms_per_region"] = ms;
  if (clipperMs(n) > 0) state.counters["ratio_to_clipper2"] = ms / clipperMs(n);
  state.counters["attempts_per_call"] = static_cast<double>(gAttempts) / static_cast<double>(calls);
  state.counters["loops_per_region"] = static_cast<double>(loops) / iterations;
  state.counters["elements_per_region"] = static_cast<double>(elements) / iterations;
}

// The self-crossing search on the outer contour's raw offset: sweep (0) or all pairs (1).
void selfIsects(benchmark::State& state, int allPairs) {
  const int n = static_cast<int>(state.range(0));
  const auto contours = region(n);
  pockRunReset();
  std::vector<ContourElement> raw(kOffsetRawCapacity);
  int m = 0;
  const int status =
      contOffsetRaw(kDistance, contours[0].data(), n, raw.data(), kContMaxElements, &m, 1);
  std::vector<IntersectionRecord> records(kIsectRecordMax);
  int h = 0;
  for (auto _ : state) {
    h = allPairs != 0 ? contFindSelfIsectsAllPairs(raw.data(), m, records.data(), status)
                      : contFindSelfIsects(raw.data(), m, records.data(), status);
    benchmark::DoNotOptimize(records.data());
  }
  state.counters["raw_elements"] = m;
  state.counters["records"] = h;
}
void BM_SelfIsectSweep(benchmark::State& state) { selfIsects(state, 0); }
void BM_SelfIsectAllPairs(benchmark::State& state) { selfIsects(state, 1); }

// Beyond the element limit: the outer contour's offset is refused with code 3029.
void BM_RegionBeyondLimit(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto contours = region(n);
  std::vector<ContourElement> out(2 * kContMaxElements);
  std::vector<ContourElement*> starts(kOffsetMaxLoops + 1);
  std::vector<int> counts(kOffsetMaxLoops + 1);
  int r = 0, code = 0;
  for (auto _ : state) {
    pockRunReset();
    r = contOffset(contours[0].data(), n, 1, kDistance, out.data(), static_cast<int>(out.size()),
                   nullptr, starts.data(), counts.data());
    code = pockLastCode();
  }
  state.counters["result"] = r;
  state.counters["code"] = code;
  if (!(r == -1 && code == kPockCodeTooManyElements)) state.SkipWithError("not refused with 3029");
}
// The spiky star of n vertices about the origin, counter-clockwise: the first operand of the
// spiky family of bench_kont_boolean (seed 42).
std::vector<Point2D> spikyStar(int n) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> radius(8.0, 10.0);
  std::vector<Point2D> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * kPi * i / n;
    const double r = radius(rng);
    p[static_cast<std::size_t>(i)] = {r * std::cos(t), r * std::sin(t)};
  }
  return p;
}
constexpr double kSpikyDistance = 0.25;

// Signed area of a loop of lines and arcs (an arc adds its circular segment).
double loopArea(const ContourElement* e, int n) {
  double a = 0.0;
  for (int i = 0; i < n; ++i) {
    const Point2D s = contElemStart(e[i]), t = contElemEnd(e[i]);
    a += 0.5 * (s.x * t.y - t.x * s.y);
    if (e[i].type == kContArc) {
      const double sweep = contArcSweep(e[i]);
      const double r = e[i].radius;
      a += 0.5 * r * r * (sweep - std::sin(sweep));
    }
  }
  return a;
}

void BM_SpikyStarContOffset(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<Point2D> pts = spikyStar(n);
  const auto c = closedPolygon(pts);
  std::vector<ContourElement> out(2 * kContMaxElements);
  std::vector<ContourElement*> starts(kOffsetMaxLoops + 1);
  std::vector<int> counts(kOffsetMaxLoops + 1);
  pockRunReset();
  contOffsetResetState();
  contOffsetSetObserver(countAttempt);
  gAttempts = 0;
  int r = 0;
  double area = 0.0;
  for (auto _ : state) {
    r = contOffset(c.data(), n, 1, kSpikyDistance, out.data(), static_cast<int>(out.size()),
                   nullptr, starts.data(), counts.data());
    area = 0.0;
    for (int k = 0; k < r; ++k) area += loopArea(starts[k], counts[k]);
  }
  contOffsetResetState();
  state.counters["result"] = r;
  state.counters["area"] = area;
  state.counters["attempts_per_call"] =
      static_cast<double>(gAttempts) / static_cast<double>(state.iterations());
}

void BM_SpikyStarOff2d(benchmark::State& state) {
  zlevelInstallHooks();
  const int n = static_cast<int>(state.range(0));
  const std::vector<Point2D> pts = spikyStar(n);
  Kont2D* star = kontNew(nullptr, n);
  for (int i = 0; i < n; ++i) {
    const Point2D a = pts[static_cast<std::size_t>(i)];
    const Point2D b = pts[static_cast<std::size_t>((i + 1) % n)];
    const Seg2D s{a.x, a.y, b.x, b.y};
    kontAppendSeg(star, &s);
  }
  star->closed = 1;
  star->z = 0.0;
  int r = 0, regions = 0;
  double area = 0.0;
  for (auto _ : state) {
    Kont2D* res = nullptr;
    r = off2dOffset(star, -kSpikyDistance, &res);
    area = 0.0;
    regions = 0;
    for (const Kont2D* q = res; q != nullptr; q = q->next, ++regions) area += kontArea(q);
    kontFree(res);
  }
  kontFree(star);
  state.counters["result"] = r;
  state.counters["regions"] = regions;
  state.counters["area"] = area;
}
}  // namespace

BENCHMARK(BM_SpikyStarContOffset)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpikyStarOff2d)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionOffset)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfIsectSweep)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfIsectAllPairs)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegionBeyondLimit)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
