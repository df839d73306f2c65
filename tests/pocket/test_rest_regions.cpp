// The rest regions a reference tool leaves: areas against the closed form of a corner's rest, one
// region per corner the reference tool cannot enter, positions and lengths along a contour against
// a brute-force walk, the reference circle's test of ring loops, and a failed region search that
// must end the rest pass as a failure with INPUT restored.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "ccp_support.h"
#include "pocket/ccp_params.h"
#include "pocket/ccp_rest.h"
#include "pocket/contour_geom.h"
#include "pocket/engine_state.h"
#include "pocket/layer_store.h"
#include "pocket/pock_geometry.h"
#include "pocket/rest_regions.h"

namespace {

using Elems = std::vector<ContourElement>;
constexpr double kPi = std::numbers::pi;

class RestRegionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ccptest::resetPocketModules();
    ccpRestResetState();
    pockEngine().pockToolRadius = 3.0;
    pockEngine().ccpOuterOrientation = 1;
  }
  void TearDown() override {
    ccpSetCurrent(nullptr);
    ccptest::resetPocketModules();
    ccpRestResetState();
  }
};

Elems polygon(const std::vector<Point2D>& p) {
  Elems e;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    e.push_back(contMakeLine(a.x, a.y, b.x, b.y, 0));
  }
  return e;
}

void insert(const char* layer, const Elems& e, int ccw = 1, int leftSide = 1) {
  ContourHeader h{};
  h.ccw = static_cast<std::uint8_t>(ccw);
  h.leftSide = static_cast<std::uint8_t>(leftSide);
  h.count = static_cast<std::int32_t>(e.size());
  h.group = 1;
  if (layerCount(layer) == 0) layerCreate(layer);
  ASSERT_EQ(layerInsertContour(layer, e.data(), &h, -1), 1);
}

Elems readContour(const char* layer, int i) {
  ContourHeader h{};
  EXPECT_EQ(layerGetHeader(layer, &h, i), i);
  Elems e(static_cast<std::size_t>(h.count));
  EXPECT_EQ(layerGetContour(layer, e.data(), h.count, &h, i), i);
  return e;
}

// The points of a contour, every arc sampled finely: the angle from start to end is taken the way
// the arc runs (a whole turn when they meet).
std::vector<Point2D> sampled(const Elems& e, int perArc = 720) {
  std::vector<Point2D> p;
  for (const ContourElement& x : e) {
    if (x.type == kContLine) {
      p.push_back({x.p0, x.p1});
      continue;
    }
    const double a0 = std::atan2(x.p3 - x.p1, x.p2 - x.p0);
    const double a1 = std::atan2(x.p5 - x.p1, x.p4 - x.p0);
    double sweep = x.dir > 0 ? a1 - a0 : a0 - a1;
    while (sweep <= 1e-9) sweep += 2 * kPi;
    for (int k = 0; k < perArc; ++k) {
      const double a = a0 + x.dir * sweep * k / perArc;
      p.push_back({x.p0 + x.radius * std::cos(a), x.p1 + x.radius * std::sin(a)});
    }
  }
  return p;
}

double shoelace(const std::vector<Point2D>& p) {
  double s = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    s += a.x * b.y - b.x * a.y;
  }
  return s / 2;
}

// The rest material of a region: the region less the reference disc, counted on a grid (points
// inside the sampled region by ray casting, outside the disc).
double restArea(const Elems& region, const Point2D& centre, double radius) {
  const std::vector<Point2D> p = sampled(region, 90);
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (const Point2D& a : p) {
    x0 = std::min(x0, a.x), y0 = std::min(y0, a.y), x1 = std::max(x1, a.x), y1 = std::max(y1, a.y);
  }
  const double h = radius / 200;
  long inside = 0;
  for (double y = y0 + h / 2; y < y1; y += h) {
    for (double x = x0 + h / 2; x < x1; x += h) {
      if (std::hypot(x - centre.x, y - centre.y) <= radius) continue;
      bool in = false;
      for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
        if ((p[i].y > y) != (p[j].y > y) &&
            x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x) {
          in = !in;
        }
      }
      if (in) ++inside;
    }
  }
  return static_cast<double>(inside) * h * h;
}

struct CornerCase {
  const char* name;
  double reference;  // reference radius
  double allowance;
};
void PrintTo(const CornerCase& c, std::ostream* os) { *os << c.name; }

class SquareCorners : public RestRegionsTest, public ::testing::WithParamInterface<CornerCase> {};

}  // namespace

// A square pocket and the reference tool's first ring (the square inset by its radius and the
// allowance): one region per corner, each holding (R + a)^2 (1 - pi/4) of rest material.
TEST_P(SquareCorners, OneRegionPerCornerWithTheCornerArea) {
  const CornerCase c = GetParam();
  const double d = c.reference + c.allowance;
  insert("MAIN", polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}}));
  insert("SPAN", polygon({{d, d}, {100 - d, d}, {100 - d, 100 - d}, {d, 100 - d}}));
  pockAllowances()[0] = c.allowance;
  layerCreate("REST");
  ASSERT_EQ(restFindRegions(c.reference), 1);
  ASSERT_EQ(layerCount("REST"), 4);
  const double expected = d * d * (1 - kPi / 4);
  std::vector<Point2D> centres;
  for (int i = 0; i < 4; ++i) {
    const Elems region = readContour("REST", i);
    ASSERT_FALSE(region.empty());
    ASSERT_EQ(region[0].type, kContArc);
    const Point2D centre{region[0].p0, region[0].p1};
    centres.push_back(centre);
    EXPECT_NEAR(region[0].radius, d, 1e-9) << i;
    EXPECT_NEAR(restArea(region, centre, d), expected, 0.01 * expected) << i;
    // The region also holds the whole reference disc: its area is the rest plus the disc.
    EXPECT_NEAR(std::fabs(shoelace(sampled(region))), expected + kPi * d * d, 0.01 * expected);
  }
  // The four centres are the ring's four corners.
  for (const Point2D q :
       {Point2D{d, d}, Point2D{100 - d, d}, Point2D{100 - d, 100 - d}, Point2D{d, 100 - d}}) {
    int found = 0;
    for (const Point2D& p : centres) found += contDistance(p, q) < 1e-9 ? 1 : 0;
    EXPECT_EQ(found, 1) << q.x << " " << q.y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rest, SquareCorners,
    ::testing::Values(CornerCase{"radius10", 10, 0}, CornerCase{"radius10Allowance1", 10, 1},
                      CornerCase{"radius4Allowance05", 4, 0.5}, CornerCase{"radius25", 25, 0},
                      CornerCase{"radius08", 0.8, 0}),
    [](const ::testing::TestParamInfo<CornerCase>& i) { return std::string(i.param.name); });

// An L pocket: the reference ring rounds the inner corner with an arc and turns sharply at the five
// others; one region per sharp corner, none at the inner corner.
TEST_F(RestRegionsTest, LPocketOneRegionPerConvexCorner) {
  const double d = 8;
  insert("MAIN", polygon({{0, 0}, {60, 0}, {60, 30}, {30, 30}, {30, 60}, {0, 60}}));
  Elems ring;
  ring.push_back(contMakeLine(d, d, 60 - d, d, 0));
  ring.push_back(contMakeLine(60 - d, d, 60 - d, 30 - d, 0));
  ring.push_back(contMakeLine(60 - d, 30 - d, 30, 30 - d, 0));
  ring.push_back(contMakeArc(30, 30, 30, 30 - d, 30 - d, 30, d, -1, 0));
  ring.push_back(contMakeLine(30 - d, 30, 30 - d, 60 - d, 0));
  ring.push_back(contMakeLine(30 - d, 60 - d, d, 60 - d, 0));
  ring.push_back(contMakeLine(d, 60 - d, d, d, 0));
  insert("SPAN", ring);
  layerCreate("REST");
  ASSERT_EQ(restFindRegions(d), 1);
  ASSERT_EQ(layerCount("REST"), 5);
  const double expected = d * d * (1 - kPi / 4);
  for (int i = 0; i < 5; ++i) {
    const Elems region = readContour("REST", i);
    const Point2D centre{region[0].p0, region[0].p1};
    EXPECT_GT(contDistance(centre, {30, 30}), d) << "a region at the inner corner";
    EXPECT_NEAR(restArea(region, centre, d), expected, 0.01 * expected) << i;
  }
}

// Positions and lengths along a rounded rectangle (lines and quarter arcs, both directions of
// travel) against a walk over the finely sampled contour.
TEST_F(RestRegionsTest, PointAtFractionAndLengthBetweenAgainstSampledWalk) {
  const double r = 5;
  Elems e;
  e.push_back(contMakeLine(r, 0, 40 - r, 0, 0));
  e.push_back(contMakeArc(40 - r, r, 40 - r, 0, 40, r, r, 1, 0));
  e.push_back(contMakeLine(40, r, 40, 20 - r, 0));
  e.push_back(contMakeArc(40 - r, 20 - r, 40, 20 - r, 40 - r, 20, r, 1, 0));
  e.push_back(contMakeLine(40 - r, 20, r, 20, 0));
  e.push_back(contMakeArc(r, 20 - r, r, 20, 0, 20 - r, r, 1, 0));
  e.push_back(contMakeLine(0, 20 - r, 0, r, 0));
  e.push_back(contMakeArc(r, r, 0, r, r, 0, r, 1, 0));
  // The walk: sampled points with their cumulative length and element.
  struct Sample {
    Point2D p;
    double s;
    int element;
  };
  std::vector<Sample> walk;
  double s = 0;
  for (int i = 0; i < static_cast<int>(e.size()); ++i) {
    const ContourElement& x = e[static_cast<std::size_t>(i)];
    std::vector<Point2D> all;
    if (x.type == kContLine) {
      for (int k = 0; k < 4000; ++k) {
        all.push_back({x.p0 + (x.p2 - x.p0) * k / 4000.0, x.p1 + (x.p3 - x.p1) * k / 4000.0});
      }
    } else {
      all = sampled({x}, 4000);
    }
    for (const Point2D& p : all) {
      if (!walk.empty()) s += contDistance(walk.back().p, p);
      walk.push_back({p, s, i});
    }
  }
  s += contDistance(walk.back().p, walk.front().p);
  const double total = s;
  EXPECT_NEAR(total, 2 * (30 + 10) + 2 * kPi * r, 1e-3);
  for (double t : {0.0, 0.1, 0.33, 0.52, 0.77, 0.95, 1.0, -1.0, 2.0}) {
    Point2D p{};
    const int element = contPointAtFraction(e.data(), static_cast<int>(e.size()), t, &p);
    const double target = std::clamp(t, 0.0, 1.0) * total;
    std::size_t k = 0;
    while (k + 1 < walk.size() && walk[k + 1].s <= target) ++k;
    EXPECT_NEAR(p.x, t >= 1.0 ? walk.front().p.x : walk[k].p.x, 2e-2) << t;
    EXPECT_NEAR(p.y, t >= 1.0 ? walk.front().p.y : walk[k].p.y, 2e-2) << t;
    if (t > 0 && t < 1) {
      EXPECT_EQ(element, walk[k].element) << t;
    }
  }
  // Lengths between sampled positions, forward, backward (around the closed contour) and on one
  // element.
  const int n = static_cast<int>(e.size());
  const std::size_t picks[][2] = {{100, 9000},    {9000, 100},  {12050, 30000},
                                  {30000, 12050}, {4100, 4200}, {4200, 4100}};
  for (const auto& pick : picks) {
    const Sample& a = walk[pick[0]];
    const Sample& b = walk[pick[1]];
    double expected = b.s - a.s;
    if (expected < 0) expected += total;
    const double got = contLengthBetween(e.data(), n, {a.element, a.p}, {b.element, b.p});
    EXPECT_NEAR(got, expected, 1e-3) << pick[0] << " -> " << pick[1];
  }
  // On an open contour a position behind the start has no length.
  const Elems open(e.begin(), e.begin() + 4);
  EXPECT_EQ(contLengthBetween(open.data(), 4, {2, walk[9000].p}, {0, walk[100].p}), -1.0);
  EXPECT_NEAR(contLengthBetween(open.data(), 4, {0, walk[100].p}, {2, walk[9000].p}),
              walk[9000].s - walk[100].s, 1e-3);
  // A contour of length 0 has no point.
  const Elems null{contMakeLine(1, 1, 1, 1, 0)};
  Point2D p{};
  EXPECT_EQ(contPointAtFraction(null.data(), 1, 0.5, &p), -1);
}

// Wall pieces between positions of a square wall: forward across the corner, backward around
// through the start, and on one element with the end behind the start: once around.
TEST_F(RestRegionsTest, CopyPieceLengths) {
  const Elems wall = polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}});
  struct Case {
    RestPosition from, to;
    double length;
    int count;
  };
  const Case cases[] = {
      {{0, {50, 0}}, {1, {100, 30}}, 80, 2},  {{3, {0, 50}}, {0, {20, 0}}, 70, 2},
      {{0, {60, 0}}, {0, {20, 0}}, 360, 5},   {{0, {20, 0}}, {0, {60, 0}}, 40, 1},
      {{2, {30, 100}}, {2, {30, 100}}, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<ContourElement> piece;
    const int m = restCopyPiece(&piece, wall.data(), 4, c.from, c.to);
    EXPECT_EQ(m, c.count);
    EXPECT_NEAR(contLength(piece.data(), m), c.length, 1e-9);
    if (m > 0) {
      EXPECT_TRUE(contSamePoint(contElemStart(piece[0]), c.from.point));
      EXPECT_TRUE(contSamePoint(contElemEnd(piece[static_cast<std::size_t>(m - 1)]), c.to.point));
    }
  }
}

// Corners of consecutive elements: left, right, smooth, and reversals (a reversal into an arc is
// decided by the arc's course).
TEST_F(RestRegionsTest, CornerTurns) {
  struct Case {
    const char* name;
    ContourElement a, b;
    int turn;
  };
  const Case cases[] = {
      {"left", contMakeLine(0, 0, 1, 0, 0), contMakeLine(1, 0, 1, 1, 0), 1},
      {"right", contMakeLine(0, 0, 1, 0, 0), contMakeLine(1, 0, 1, -1, 0), -1},
      {"straight", contMakeLine(0, 0, 1, 0, 0), contMakeLine(1, 0, 2, 0.001, 0), 0},
      {"back", contMakeLine(0, 0, 1, 0, 0), contMakeLine(1, 0, 0, 0, 0), -2},
      {"tangent arc", contMakeLine(0, 0, 1, 0, 0), contMakeArc(1, 1, 1, 0, 2, 1, 1, 1, 0), 0},
      // Back along an arc that bends away to the left of the line's course.
      {"back into arc", contMakeLine(0, 0, 1, 0, 0), contMakeArc(1, 1, 1, 0, 0, 1, 1, -1, 0), 1},
  };
  for (const Case& c : cases) {
    int turn = 99;
    ASSERT_EQ(restCornerTurn(c.a, c.b, &turn), 1) << c.name;
    EXPECT_EQ(turn, c.turn) << c.name;
  }
}

// With evaluation on, a loop wholly inside the reference circle is refused; one crossing it or
// lying outside it is kept; with evaluation off every loop is kept.
TEST_F(RestRegionsTest, ReferenceCircleTest) {
  restSetReference(contMakeArc(0, 0, 10, 0, 10, 0, 10, 1, 1));
  const Elems inside = polygon({{-2, -2}, {2, -2}, {2, 2}, {-2, 2}});
  const Elems crossing = polygon({{5, -2}, {15, -2}, {15, 2}, {5, 2}});
  const Elems outside = polygon({{20, 20}, {30, 20}, {30, 30}, {20, 30}});
  const Elems around = polygon({{-20, -20}, {20, -20}, {20, 20}, {-20, 20}});
  pockCfg().evalRif = 1;
  EXPECT_EQ(restCheckReference(inside.data(), 4), 0);
  EXPECT_EQ(restCheckReference(crossing.data(), 4), 1);
  EXPECT_EQ(restCheckReference(outside.data(), 4), 1);
  EXPECT_EQ(restCheckReference(around.data(), 4), 1);
  pockCfg().evalRif = 0;
  EXPECT_EQ(restCheckReference(inside.data(), 4), 1);
}

// More contacts than the table holds: the search fails, and the rest pass reports it (3020), frees
// its layers, gives INPUT back unchanged and returns -1 instead of pocketing a partial result.
TEST_F(RestRegionsTest, TooManyContactsFailTheRestPass) {
  const double d = 10;
  const Elems square = polygon({{0, 0}, {1200, 0}, {1200, 600}, {0, 600}});
  // A ring that zigzags along the bottom wall at the reference distance: every vertex is a corner
  // touching the wall, 0.1 apart.
  std::vector<Point2D> zig;
  for (int k = 0; k <= 10200; ++k) zig.push_back({50 + 0.1 * k, d + (k % 2 == 0 ? 0.01 : -0.01)});
  zig.push_back({50 + 0.1 * 10200, 300});
  zig.push_back({50, 300});
  insert("MAIN", square);
  insert("INPUT", square);
  insert("GKT", polygon(zig));
  ccpSetCurrent(ccpCycleRecord());
  pockLastCodeReset();
  EXPECT_EQ(restMachining("GKT", d), -1);
  EXPECT_EQ(pockLastCode(), kPockCodeNoMemory);
  for (const char* layer : {"SPAN", "REST", "ORIG"}) EXPECT_EQ(layerCount(layer), 0) << layer;
  ASSERT_EQ(layerCount("INPUT"), 1);
  const Elems back = readContour("INPUT", 0);
  ASSERT_EQ(back.size(), square.size());
  for (std::size_t i = 0; i < back.size(); ++i)
    EXPECT_EQ(contElemEnd(back[i]).x, contElemEnd(square[i]).x);
  // The start settings the pass changes are put back.
  EXPECT_EQ(pockEngine().pockStartSet, 0);
  EXPECT_EQ(pockEngine().pockRestPass, 0);
}
