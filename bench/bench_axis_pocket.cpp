// Axis-parallel clearing of one level, both forms, on tool-centre pockets (R 5, plane allowance -5,
// stepover 0.4 of the diameter): the stripes of the contour-parallel cycle's "axisParallel"
// strategy (zigzagLevel) and the meander of the axis-parallel cycle (axcpPocketMain, width 4).
// Pockets: the 200 x 100 rectangle with 0, 4, 16 or 64 round islands (48-gons on a grid), and the
// star r(t) = 100 (1 + 0.25 sin 7t + 0.08 sin 53t) of 1,000 lines with four round islands of
// radius 8 at (+-40, +-40). Reported per level: time, path length of the feed moves, lifts (rapid
// moves in the plane), the uncut area: cells (0.25 x 0.25) of the tool-centre region farther than
// R from every feed move, and the uncut wall area: cells outside the tool-centre region but within
// R of it (the material along the walls that the tool fits) farther than R from every feed move.
// The ratio counters compare the form with the contour-parallel level (pockLevelFull through
// pockLevel, same tool, stepover and contours) of the same pocket: time (median of five timed runs
// of each), length and lifts; cp_uncut_mm2 is the contour-parallel run's own uncut area.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "framework/output.h"
#include "pocket/axcp_record.h"
#include "pocket/ccp_record.h"
#include "pocket/contour_geom.h"
#include "pocket/contour_tree.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/mean_path.h"
#include "pocket/pock_geometry.h"
#include "pocket/pock_level.h"
#include "pocket/pock_output.h"

namespace {
constexpr double kPi = std::numbers::pi;
constexpr double kToolRadius = 5.0;
constexpr double kWidth = 4.0;

using Poly = std::vector<Point2D>;

struct Pocket {
  Poly outer;               // counter-clockwise
  std::vector<Poly> holes;  // clockwise
};

Poly circle(double cx, double cy, double r, int n) {
  Poly p;
  for (int i = 0; i < n; ++i) {
    const double t = -2 * kPi * i / n;
    p.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
  }
  return p;
}

Pocket rectangle(int islands) {
  Pocket p{{{0, 0}, {200, 0}, {200, 100}, {0, 100}}, {}};
  const int rows = islands == 0 ? 0 : (islands == 4 ? 1 : (islands == 16 ? 2 : 4));
  const int cols = rows == 0 ? 0 : islands / rows;
  for (int i = 0; i < cols; ++i) {
    for (int j = 0; j < rows; ++j) {
      const double w = 200.0 / cols, h = 100.0 / rows;
      p.holes.push_back(circle((i + 0.5) * w, (j + 0.5) * h, 0.25 * std::fmin(w, h), 48));
    }
  }
  return p;
}

Pocket star() {
  Pocket p;
  const int n = 1000;
  for (int i = 0; i < n; ++i) {
    const double t = 2 * kPi * i / n;
    const double r = 100 * (1 + 0.25 * std::sin(7 * t) + 0.08 * std::sin(53 * t));
    p.outer.push_back({r * std::cos(t), r * std::sin(t)});
  }
  for (int q = 0; q < 4; ++q)
    p.holes.push_back(circle(q & 1 ? 40 : -40, q & 2 ? 40 : -40, 8, n / 8));
  return p;
}

std::vector<ContourElement> elems(const Poly& p) {
  std::vector<ContourElement> e;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D a = p[i], b = p[(i + 1) % p.size()];
    e.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
  }
  return e;
}

// MAIN as the cycle hands it over: the outer contour counter-clockwise, then the islands
// clockwise, all with the tool on their left.
void fillMain(const Pocket& p) {
  layerCreate("MAIN");
  auto put = [](const Poly& poly, bool island) {
    std::vector<ContourElement> e = elems(poly);
    ContourHeader h{};
    h.count = static_cast<int>(e.size());
    h.ccw = island ? 0 : 1;
    h.leftSide = 1;
    h.zTop = 0;
    h.zBottom = -5;
    h.parent = -1;
    h.allowance = -kToolRadius;
    layerInsertContour("MAIN", e.data(), &h, -1);
  };
  put(p.outer, false);
  for (const Poly& h : p.holes) put(h, true);
}

// The feed moves and lifts of a level, from the output layer's records.
struct Moves {
  std::vector<std::pair<Point2D, Point2D>> feeds;
  int lifts = 0;
  Point2D at{0, 0};
  static int listen(CycleRecord*, OutputRecord* r, void* user) {
    auto* m = static_cast<Moves*>(user);
    switch (r->type) {
      case 3101:
        ++m->lifts;
        m->at = {r->move.x, r->move.y};
        break;
      case 3111: {
        const Point2D to{r->move.x, r->move.y};
        m->feeds.push_back({m->at, to});
        m->at = to;
        break;
      }
      case 3121: {  // an arc as chords of at most 5 degrees
        const Point2D c{r->arc.cx, r->arc.cy}, to{r->arc.x, r->arc.y};
        const double a0 = std::atan2(m->at.y - c.y, m->at.x - c.x);
        double sweep = std::atan2(to.y - c.y, to.x - c.x) - a0;
        const double dir = r->arc.direction == 1 ? -1.0 : 1.0;
        while (dir * sweep <= 0) sweep += dir * 2 * kPi;
        const double rad = std::hypot(m->at.x - c.x, m->at.y - c.y);
        const int n = 1 + static_cast<int>(std::fabs(sweep) / (5 * kPi / 180));
        for (int k = 1; k <= n; ++k) {
          const double a = a0 + sweep * k / n;
          const Point2D q = k == n ? to : Point2D{c.x + rad * std::cos(a), c.y + rad * std::sin(a)};
          m->feeds.push_back({m->at, q});
          m->at = q;
        }
        break;
      }
      default: break;
    }
    return 1;
  }
};

int noWrite(CycleRecord*, OutputRecord*) { return 1; }

// The record made current with layer 31 listened to, the engine set for R 5 and stepover 0.4.
void startLevel(CycleRecord* cycle, Moves* moves, int strategy) {
  pockRunReset();
  pockOutputRunReset();
  layerResetState();
  CcpRecord* r = ccpRecordOf(cycle);
  r->toolDiameter = 2 * kToolRadius;
  r->planeAllowance = -kToolRadius;
  r->infeedLength = kWidth;
  r->strategy = strategy;
  r->clearancePlane = r->retractPlane = 50;
  r->surface = 0;
  r->depth = 5;
  r->plungeType = 2;
  cycFreeLayers(cycle);
  for (std::uint16_t layer : {0, 10, 12, 31}) cycRegisterLayer(cycle, layer, noWrite, nullptr, 1);
  cycAddListener(cycle, 31, &Moves::listen, moves, nullptr, nullptr);
  ccpSetCurrent(cycle);
  pockApplySettings("TI0.0 R5.0000 ZM0.4");
  pockEngine().ccpOuterOrientation = 1;
}

double segDist(const Point2D& p, const Point2D& a, const Point2D& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, l = dx * dx + dy * dy;
  double t = l > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l : 0;
  t = std::fmin(1, std::fmax(0, t));
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

bool insidePoly(const Point2D& p, const Poly& poly) {
  bool in = false;
  for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const Point2D a = poly[i], b = poly[j];
    if ((a.y > p.y) != (b.y > p.y) && a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y) > p.x) in = !in;
  }
  return in;
}

// Distance of q from the nearest edge of a polygon.
double polyDistance(const Point2D& q, const Poly& poly) {
  double d = 1e300;
  for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    d = std::fmin(d, segDist(q, poly[j], poly[i]));
  }
  return d;
}

// Uncut area of the tool-centre region (walls false), or of the band within R outside it (walls
// true): cells farther than R from every feed move.
double uncutArea(const Pocket& p, const Moves& m, bool walls = false) {
  constexpr double cell = 0.25;
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const Point2D& q : p.outer) {
    x0 = std::fmin(x0, q.x);
    y0 = std::fmin(y0, q.y);
    x1 = std::fmax(x1, q.x);
    y1 = std::fmax(y1, q.y);
  }
  if (walls) {
    x0 -= kToolRadius;
    y0 -= kToolRadius;
    x1 += kToolRadius;
    y1 += kToolRadius;
  }
  // Feed moves bucketed by a coarse grid of R.
  const int gx = static_cast<int>((x1 - x0) / kToolRadius) + 2;
  const int gy = static_cast<int>((y1 - y0) / kToolRadius) + 2;
  std::vector<std::vector<int>> grid(static_cast<std::size_t>(gx * gy));
  for (std::size_t k = 0; k < m.feeds.size(); ++k) {
    const auto& [a, b] = m.feeds[k];
    const int i0 = static_cast<int>((std::fmin(a.x, b.x) - kToolRadius - x0) / kToolRadius);
    const int i1 = static_cast<int>((std::fmax(a.x, b.x) + kToolRadius - x0) / kToolRadius);
    const int j0 = static_cast<int>((std::fmin(a.y, b.y) - kToolRadius - y0) / kToolRadius);
    const int j1 = static_cast<int>((std::fmax(a.y, b.y) + kToolRadius - y0) / kToolRadius);
    for (int i = std::max(i0, 0); i <= std::min(i1, gx - 1); ++i) {
      for (int j = std::max(j0, 0); j <= std::min(j1, gy - 1); ++j) {
        grid[static_cast<std::size_t>(i * gy + j)].push_back(static_cast<int>(k));
      }
    }
  }
  double area = 0;
  for (double x = x0 + cell / 2; x < x1; x += cell) {
    for (double y = y0 + cell / 2; y < y1; y += cell) {
      const Point2D q{x, y};
      bool inside = insidePoly(q, p.outer);
      for (const Poly& h : p.holes) inside = inside && !insidePoly(q, h);
      if (inside == walls) continue;
      if (walls) {
        double d = polyDistance(q, p.outer);
        for (const Poly& h : p.holes) d = std::fmin(d, polyDistance(q, h));
        if (d > kToolRadius) continue;
      }
      const int i = static_cast<int>((x - x0) / kToolRadius);
      const int j = static_cast<int>((y - y0) / kToolRadius);
      bool cut = false;
      for (const int k : grid[static_cast<std::size_t>(i * gy + j)]) {
        if (segDist(q, m.feeds[static_cast<std::size_t>(k)].first,
                    m.feeds[static_cast<std::size_t>(k)].second) <= kToolRadius) {
          cut = true;
          break;
        }
      }
      if (!cut) area += cell * cell;
    }
  }
  return area;
}

double pathLength(const Moves& m) {
  double s = 0;
  for (const auto& [a, b] : m.feeds) s += std::hypot(b.x - a.x, b.y - a.y);
  return s;
}

struct Figures {
  double length = 0, lifts = 0, uncut = 0;
};

// One level of the form (0 stripes, 1 meander, 2 contour-parallel rings); its figures.
Figures runLevel(const Pocket& p, int form, Moves* moves) {
  CycleRecord* cycle = form == 1 ? axcpCycleRecord() : ccpCycleRecord();
  startLevel(cycle, moves, form == 0 ? kCcpStrategyAxisParallel : kCcpStrategyDefault);
  fillMain(p);
  pockAllowancesFromLayer("MAIN");
  if (form == 1) {
    axcpPocketMain(cycle);
  } else {
    pockLevel();
  }
  layerFree("MAIN");
  return Figures{pathLength(*moves), static_cast<double>(moves->lifts), 0};
}

// Median time of five runs of a form, in ms.
double medianMs(const Pocket& p, int form) {
  std::vector<double> t;
  for (int k = 0; k < 5; ++k) {
    Moves m;
    const auto a = std::chrono::steady_clock::now();
    runLevel(p, form, &m);
    t.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[2];
}

Pocket pocketOf(int which) { return which < 0 ? star() : rectangle(which); }

void BM_AxisLevel(benchmark::State& state) {
  const Pocket p = pocketOf(static_cast<int>(state.range(0)));
  const int form = static_cast<int>(state.range(1));
  Moves last;
  for (auto _ : state) {
    Moves m;
    runLevel(p, form, &m);
    last = m;
  }
  Figures f{pathLength(last), static_cast<double>(last.lifts), uncutArea(p, last)};
  state.counters["length"] = f.length;
  state.counters["lifts"] = f.lifts;
  state.counters["uncut_mm2"] = f.uncut;
  state.counters["wall_uncut_mm2"] = uncutArea(p, last, true);
  // The contour-parallel level of the same pocket, for the ratios.
  Moves cp;
  runLevel(p, 2, &cp);
  const Figures c{pathLength(cp), static_cast<double>(cp.lifts), uncutArea(p, cp)};
  state.counters["ms_per_cp"] = medianMs(p, form) / medianMs(p, 2);
  state.counters["len_per_cp"] = c.length > 0 ? f.length / c.length : 0;
  state.counters["lifts_per_cp"] = c.lifts > 0 ? f.lifts / c.lifts : 0;
  state.counters["cp_uncut_mm2"] = c.uncut;
  state.counters["cp_wall_uncut_mm2"] = uncutArea(p, cp, true);
  state.SetLabel(form == 0 ? "stripes" : "meander");
  cycFreeLayers(ccpCycleRecord());
  cycFreeLayers(axcpCycleRecord());
  ccpSetCurrent(nullptr);
  meanPathResetState();
}

// The mean path alone on the loops of the pocket (1-degree circles as 48-gons), width 4.
void BM_MeanPath(benchmark::State& state) {
  const Pocket p = pocketOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    IntList* idx = lstIntNew(4000);
    Pt2List* pts = lstPt2New(4000);
    auto loop = [&](const Poly& poly) {
      const int first = pts->count;
      for (const Point2D& q : poly) {
        lstPt2Append(pts, q);
        lstIntAppend(idx, pts->count - 1);
      }
      lstIntAppend(idx, first);
    };
    loop(p.outer);
    for (const Poly& h : p.holes) loop(h);
    benchmark::DoNotOptimize(meanPath(idx, pts, nullptr, kWidth));
    state.counters["points"] = pts->count;
    lstIntFree(idx);
    lstBox2Free(pts);
  }
  meanPathResetState();
}

}  // namespace

// range(0): islands of the rectangle (0, 4, 16, 64) or -1 for the star; range(1): 0 stripes,
// 1 meander.
BENCHMARK(BM_AxisLevel)->ArgsProduct({{0, 4, 16, 64, -1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeanPath)->Arg(0)->Arg(4)->Arg(16)->Arg(64)->Arg(-1)->Unit(benchmark::kMillisecond);
