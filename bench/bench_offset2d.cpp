// bench_offset2d.cpp - time of the walker-traced region offset and of the Z-path fillet. The
// region is the spiky star r(t) = R (1 + 0.25 sin 7t + 0.08 sin 53t) of n vertices with 4 star
// islands of n/8 vertices, offset inwards by R/40 (the outer contour shrinks, the islands grow);
// the fillet rounds a star pocket path of n points with the radius R/40.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/kont2d.h"
#include "geometry/offset2d.h"
#include "zlevel/zlevel_hooks.h"
#include "zlevel/zpath.h"
#include "zlevel/zpath_fillet.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kR = 10.0;

std::vector<Point2D> spikyStar(int n, double cx, double cy, double big, bool cw) {
  std::vector<Point2D> p(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n * (cw ? -1.0 : 1.0);
    const double r = big * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    p[i] = {cx + r * std::cos(t), cy + r * std::sin(t)};
  }
  return p;
}

Kont2D* contourOf(const std::vector<Point2D>& p) {
  Kont2D* k = kontNew(nullptr, static_cast<int>(p.size()));
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    const Seg2D s{a.x, a.y, b.x, b.y};
    kontAppendSeg(k, &s);
  }
  k->closed = 1;
  k->z = 0.0;
  return k;
}

// The outer star (R = 10) and its 4 islands (R = 1 at 4.5 from the centre).
Kont2D* starRegion(int n) {
  Kont2D* outer = contourOf(spikyStar(n, 0, 0, kR, false));
  Kont2D* last = outer;
  for (int i = 0; i < 4; ++i) {
    const double a = kPi / 4 + i * kPi / 2;
    Kont2D* isl =
        contourOf(spikyStar(std::max(3, n / 8), 4.5 * std::cos(a), 4.5 * std::sin(a), 1, true));
    isl->prev = last;
    if (last == outer)
      outer->child = isl;
    else
      last->next = isl;
    last = isl;
  }
  return outer;
}

// Clipper2's round offset of the same region on one thread: 4.2 ms, 66 ms and 6.5 s for n = 10^3,
// 10^4 and 10^5.
void BM_Off2dStarRegion(benchmark::State& state) {
  zlevelInstallHooks();
  const int n = static_cast<int>(state.range(0));
  Kont2D* region = starRegion(n);
  int result = 0;
  int contours = 0;
  for (auto _ : state) {
    Kont2D* out = nullptr;
    result = off2dOffset(region, -kR / 40.0, &out);
    contours = 0;
    for (const Kont2D* r = out; r != nullptr; r = r->next)
      for (const Kont2D* k = r; k != nullptr; k = kontWalkNext(r, k)) ++contours;
    kontFree(out);
  }
  state.counters["result"] = result;
  state.counters["contours"] = contours;
  kontFree(region);
}
BENCHMARK(BM_Off2dStarRegion)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ZpathFilletStar(benchmark::State& state) {
  zlevelInstallHooks();
  const int n = static_cast<int>(state.range(0));
  const std::vector<Point2D> pts = spikyStar(n, 0, 0, kR, false);
  ZPath* path = zpathNew(n);
  const double saved = zpathGetMergeLength();
  zpathSetMergeLength(0.0);
  for (const Point2D& p : pts) {
    const float xy[2] = {static_cast<float>(p.x), static_cast<float>(p.y)};
    zpathAppendPoint(path, xy, nullptr, -2, -1);
  }
  zpathSetMergeLength(saved);
  path->z = 0.0;
  path->closed = 1;
  path->materialInside = 0;
  path->orientation = zpathOrientation(path);
  path->area = zpathArea(path);
  int result = 0;
  int points = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ZPathList* list = zpathListNew(1);
    zpathListAdd(list, path);
    state.ResumeTiming();
    result = zpathListFillet(list, nullptr, kR / 40.0);
    points = list->count > 0 ? list->items[0].count : 0;
    state.PauseTiming();
    zpathListFree(list);
    state.ResumeTiming();
  }
  state.counters["result"] = result;
  state.counters["points"] = points;
  zpathFree(path);
}
BENCHMARK(BM_ZpathFilletStar)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
