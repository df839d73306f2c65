// Whole contour-parallel pocket levels in-process (rings built, related and linked, the path
// collected): the star-shaped region of the offset benchmark (outer contour of N lines about
// radius 100 with four round islands of N / 8 lines, N = 1,000 and 10,000) and a 200 x 100
// rectangle with 0, 4, 16 and 64 round islands; tool radius 2.5, stepover 0.5 D. Reported per
// level: rings, lifts, feed length against the pocket's area over the step, the checker's uncut
// area, ms per ring, the ms of the ring passes alone and, for the star, the ratio of ms per ring to
// Clipper2's iterative offset pocketing of the region (14 rings: 3.1 s at N = 1,000 and 6.7 s at
// 10,000 unsimplified, 15 ms and 35 ms with simplification; measured elsewhere). The stock case:
// a 200 x 100 block of stock around an 80 x 40 part, cut in stock mode from outside (rings grown
// from the part, clipped at the stock), its uncut area taken over the stock widened by R.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "pocket/contour_tree.h"
#include "pocket/cut_regions.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/link_search.h"
#include "pocket/link_stack.h"
#include "pocket/offset_rings.h"
#include "pocket/open_rings.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_output.h"
#include "pocket/ring_linker.h"
#include "pocket/tangent_link.h"
#include "toolpath_check.h"

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kToolRadius = 2.5;
constexpr double kStepFactor = 0.5;
// The stepover factor of the current benchmark and whether its levels resolve cut regions.
double stepFactor = kStepFactor;
int cutRegions = 0;
// Stock mode: the first polygon is the stock, the others the part.
int stockMode = 0;
constexpr double kFloor = -5.0;

using Polygon = std::vector<Point2D>;

// A pocket: the outer polygon counter-clockwise first, then the islands clockwise.
struct Region {
  std::vector<Polygon> polygons;
  double area = 0;
};

double signedArea(const Polygon& p) {
  double a = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& u = p[i];
    const Point2D& v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2;
}

Polygon circle(double cx, double cy, double r, int n) {
  Polygon p;
  for (int i = 0; i < n; ++i) {
    const double t = -2 * kPi * i / n;
    p.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
  }
  return p;
}

Region star(int n) {
  Region r;
  Polygon outer;
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n;
    const double rr = 100 * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    outer.push_back({rr * std::cos(t), rr * std::sin(t)});
  }
  r.polygons.push_back(outer);
  for (int q = 0; q < 4; ++q) {
    r.polygons.push_back(circle(q & 1 ? 40.0 : -40.0, q & 2 ? 40.0 : -40.0, 8, n / 8));
  }
  return r;
}

// 200 x 100 with k round islands of radius 3 on a grid.
Region rectangle(int k) {
  Region r;
  r.polygons.push_back({{0, 0}, {200, 0}, {200, 100}, {0, 100}});
  const int cols = k == 0 ? 0 : (k == 4 ? 2 : (k == 16 ? 8 : 16));
  const int rows = cols == 0 ? 0 : k / cols;
  for (int i = 0; i < cols; ++i) {
    for (int j = 0; j < rows; ++j) {
      r.polygons.push_back(circle(200.0 * (i + 0.5) / cols, 100.0 * (j + 0.5) / rows, 3, 32));
    }
  }
  return r;
}

void fillLayer(const char* name, const Region& region) {
  layerCreate(name);
  for (std::size_t k = 0; k < region.polygons.size(); ++k) {
    const Polygon& p = region.polygons[k];
    std::vector<ContourElement> e;
    for (std::size_t i = 0; i < p.size(); ++i) {
      const Point2D a = p[i];
      const Point2D b = p[(i + 1) % p.size()];
      e.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
    }
    ContourHeader h{};
    h.count = static_cast<int>(e.size());
    h.leftSide = 1;
    h.ccw = k == 0 ? 1 : 0;
    h.stockMark = k == 0 ? static_cast<std::int16_t>(stockMode) : 0;
    h.zTop = 0;
    h.zBottom = kFloor;
    layerInsertContour(name, e.data(), &h, -1);
  }
}

void prepare(const Region& region) {
  pockRunReset();
  layerResetState();
  pockGeometryResetState();
  pockOutputRunReset();
  PockEngine& e = pockEngine();
  e.pockToolRadius = kToolRadius;
  e.pockStepFactor = stepFactor * 0.99;
  e.ccpOuterOrientation = 1;
  e.pockStockMode = stockMode;
  fillLayer("INPUT", region);
  fillLayer("MAIN", region);
  pockAllowancesFromLayer("MAIN");
  pockCollectStart();
}

// The collected path: elements in order, tagged 1 where a new cut starts.
std::vector<ContourElement> collectedPath() {
  std::vector<const PockElemNode*> nodes;
  const PockElemList* list = pockOutput().pockCollected;
  for (const PockElemNode* n = list != nullptr ? list->first : nullptr; n != nullptr; n = n->next) {
    nodes.push_back(n);
  }
  std::vector<ContourElement> out;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    for (int i = 0; i < (*it)->count; ++i) out.push_back((*it)->elements[i]);
  }
  return out;
}

// The path as POF move text for the checker: a rapid to each new start, a plunge, the moves.
std::string pofText(const std::vector<ContourElement>& path) {
  std::string s;
  char line[256];
  for (const ContourElement& e : path) {
    const Point2D a = contElemStart(e);
    const Point2D b = contElemEnd(e);
    if (e.tag != 0) {
      std::snprintf(line, sizeof line, "31: oM( z[/10] )\n31: oM( x[/%.8f] y[/%.8f] )\n", a.x, a.y);
      s += line;
      std::snprintf(line, sizeof line, "31: oL( z[/%.8f] )\n", kFloor);
      s += line;
    } else {
      std::snprintf(line, sizeof line, "31: oL( x[/%.8f] y[/%.8f] )\n", a.x, a.y);
      s += line;
    }
    if (e.type == kContArc) {
      std::snprintf(line, sizeof line, "31: oA( o[%s] x[/%.8f/%.8f] y[/%.8f/%.8f] )\n",
                    e.dir > 0 ? "+" : "-", b.x, e.p0, b.y, e.p1);
    } else {
      std::snprintf(line, sizeof line, "31: oL( x[/%.8f] y[/%.8f] )\n", b.x, b.y);
    }
    s += line;
  }
  return s + "0: cycleEnd(bench)\n";
}

double uncutArea(const Region& region, const std::vector<ContourElement>& path) {
  tpc::Path p;
  if (!tpc::readPofText(p, pofText(path), tpc::Tool::flat(kToolRadius), "bench")) return -1;
  tpc::Pocket pocket;
  auto pts = [](const Polygon& poly) {
    std::vector<std::pair<double, double>> q;
    for (const Point2D& a : poly) q.emplace_back(a.x, a.y);
    return q;
  };
  Polygon outer = region.polygons[0];
  if (stockMode != 0) {
    // The stock widened by R (an axis-parallel rectangle): the tool works up to its edge.
    outer = {{outer[0].x - kToolRadius, outer[0].y - kToolRadius},
             {outer[2].x + kToolRadius, outer[0].y - kToolRadius},
             {outer[2].x + kToolRadius, outer[2].y + kToolRadius},
             {outer[0].x - kToolRadius, outer[2].y + kToolRadius}};
  }
  pocket.outer = tpc::polygon(pts(outer), 0, 0);
  for (std::size_t k = 1; k < region.polygons.size(); ++k) {
    pocket.islands.push_back(tpc::polygon(pts(region.polygons[k]), 0, 0));
  }
  tpc::CoverOptions cover;
  cover.floorZ = kFloor;
  cover.step = 2 * stepFactor * kToolRadius;
  cover.inset = cutRegions != 0 || stockMode != 0 ? kToolRadius : 0.0;
  cover.cell = 0.05 * kToolRadius;
  return tpc::checkCoverClear(p, pocket, cover).uncutArea;
}

// The number of rings the level builds (the ring passes of the full level).
int ringCount() {
  const PockEngine& e = pockEngine();
  const double r = e.pockToolRadius;
  const double step = 2 * e.pockStepFactor * r;
  if (ctreeInit(1) != 1) return -1;
  if (stockMode != 0) {
    ringOffsetMainOpen(r, pockAllowances(), 1);
    ringOpenFinal(r, 1);
    ringOpenSpanPasses(step, 1);
  } else {
    ringOffsetIslands(r, pockAllowances(), 1);
    ringBuildSpans(r, pockAllowances()[0], e.pockStepFactor, 1);
    ringBuildSuccessive(step, 1, 0);
  }
  const int n = ctreeNodeCount();
  ctreeFree();
  for (const char* layer : {"SPAN", "GKT", "INSEL"}) layerFree(layer);
  return n;
}

void runLevel(benchmark::State& state, const Region& region, double clipperMsPerRing) {
  double totalMs = 0;
  int levels = 0;
  for (auto _ : state) {
    state.PauseTiming();
    prepare(region);
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    ringCutLayersEnable(cutRegions);
    benchmark::DoNotOptimize(pockLevelFull());
    ringCutLayersFree();
    totalMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    ++levels;
  }
  // Figures of one level, outside the timing.
  const std::vector<ContourElement> path = collectedPath();
  double feed = 0;
  int starts = 0;
  for (const ContourElement& e : path) {
    feed += contElemLength(e);
    starts += e.tag != 0 ? 1 : 0;
  }
  prepare(region);
  const auto r0 = std::chrono::steady_clock::now();
  ringCutLayersEnable(cutRegions);
  const int rings = ringCount();
  ringCutLayersFree();
  // The ring passes alone: the rest of a level is relating and linking the rings.
  state.counters["ms_ring_passes"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - r0).count();
  double area = signedArea(region.polygons[0]);
  for (std::size_t k = 1; k < region.polygons.size(); ++k) area += signedArea(region.polygons[k]);
  const double step = 2 * stepFactor * 0.99 * kToolRadius;
  const double msPerLevel = totalMs / std::max(levels, 1);
  state.counters["ms_per_level"] = msPerLevel;
  state.counters["rings"] = rings;
  state.counters["ms_per_ring"] = rings > 0 ? msPerLevel / rings : 0;
  state.counters["lifts"] = std::max(starts - 1, 0);
  state.counters["feed_over_area_step"] = feed / (area / step);
  state.counters["uncut_area"] = uncutArea(region, path);
  if (clipperMsPerRing > 0 && rings > 0) {
    state.counters["ratio_clipper"] = msPerLevel / rings / clipperMsPerRing;
  }
}

// Clipper2's iterative offset pocketing of the star region: 14 rings in 3.1 s (N = 1,000) and
// 6.7 s (N = 10,000) unsimplified; 15 ms and 35 ms with simplification.
double clipperMsPerRing(int n, bool simplified) {
  if (n == 1000) return (simplified ? 15.0 : 3100.0) / 14;
  if (n == 10000) return (simplified ? 35.0 : 6700.0) / 14;
  return 0;
}

void BM_StarLevel(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  runLevel(state, star(n), clipperMsPerRing(n, false));
  const double ratio = state.counters["ratio_clipper"];
  state.counters["ratio_clipper_simplified"] =
      ratio * clipperMsPerRing(n, false) / clipperMsPerRing(n, true);
}
BENCHMARK(BM_StarLevel)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RectangleLevel(benchmark::State& state) {
  runLevel(state, rectangle(static_cast<int>(state.range(0))), 0);
}
BENCHMARK(BM_RectangleLevel)->Arg(0)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

// The same pockets at stepover 0.8 D with cut regions resolved (their uncut area is taken at least
// R inside the walls, where cut regions leave corner material by design).
void BM_StarLevelCutRegions(benchmark::State& state) {
  stepFactor = 0.8;
  cutRegions = 1;
  runLevel(state, star(static_cast<int>(state.range(0))), 0);
  stepFactor = kStepFactor;
  cutRegions = 0;
}
BENCHMARK(BM_StarLevelCutRegions)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RectangleLevelCutRegions(benchmark::State& state) {
  stepFactor = 0.8;
  cutRegions = 1;
  runLevel(state, rectangle(static_cast<int>(state.range(0))), 0);
  stepFactor = kStepFactor;
  cutRegions = 0;
}
BENCHMARK(BM_RectangleLevelCutRegions)->Arg(0)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// A block of stock around a part in stock mode, at stepover 0.5 D and 0.8 D (cut regions on).
void BM_StockAroundPart(benchmark::State& state) {
  stepFactor = state.range(0) / 10.0;
  cutRegions = stepFactor > 0.5 ? 1 : 0;
  stockMode = 1;
  Region r;
  r.polygons.push_back({{0, 0}, {200, 0}, {200, 100}, {0, 100}});
  r.polygons.push_back({{60, 30}, {60, 70}, {140, 70}, {140, 30}});
  runLevel(state, r, 0);
  stepFactor = kStepFactor;
  cutRegions = 0;
  stockMode = 0;
}
BENCHMARK(BM_StockAroundPart)->Arg(5)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
