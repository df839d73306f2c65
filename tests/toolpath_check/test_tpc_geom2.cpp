// test_tpc_geom2.cpp - the checker's planar geometry: exact line and arc distances against dense
// samples, winding numbers of contours with arcs against the same contours as fine polygons, and
// bucket ranges of boxes that reach to infinity.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "toolpath_check_gtest.h"
#include "tpc_internal.h"

namespace {

tpc::Curve randomCurve(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-5, 5);
  const double ax = u(rng), ay = u(rng);
  if (rng() % 2) return tpc::lineCurve(ax, ay, u(rng), u(rng));
  // An arc: start, centre, and an end on the same circle.
  const double cx = u(rng), cy = u(rng);
  const double r = std::hypot(ax - cx, ay - cy);
  const double ang = std::uniform_real_distribution<double>(-3.1, 3.1)(rng);
  return tpc::arcCurve(ax, ay, cx + r * std::cos(ang), cy + r * std::sin(ang), cx, cy,
                       rng() % 2 ? 1 : -1);
}

// Brute force: the least exact point-to-curve distance over dense points of the other curve.
// Converges on the curve-to-curve distance from above; between crossing curves it finds a point
// within one spacing of the crossing.
double sampledDistance(const tpc::Curve& a, const tpc::Curve& b, int n, double& spacing) {
  double best = std::numeric_limits<double>::infinity();
  for (int i = 0; i <= n; ++i) {
    double x, y;
    tpc::curveAt(a, static_cast<double>(i) / n, x, y);
    best = std::min(best, tpc::distPointCurve(x, y, b));
    tpc::curveAt(b, static_cast<double>(i) / n, x, y);
    best = std::min(best, tpc::distPointCurve(x, y, a));
  }
  spacing = std::max(tpc::curveLength(a), tpc::curveLength(b)) / n;
  return best;
}

TEST(TpcGeom2, CurveDistanceMatchesDenseSamples) {
  std::mt19937 rng(5);
  int crossing = 0;
  for (int i = 0; i < 400; ++i) {
    const tpc::Curve a = randomCurve(rng), b = randomCurve(rng);
    double spacing;
    const double brute = sampledDistance(a, b, 5000, spacing);
    const double exact = tpc::distCurveCurve(a, b);
    SCOPED_TRACE(::testing::Message() << "case " << i << " turns " << a.turn << " " << b.turn);
    EXPECT_LE(exact, brute + 1e-12);
    if (exact == 0) {
      ++crossing;
      EXPECT_LE(brute, spacing);
    } else {
      EXPECT_LE(brute - exact, 1e-6);
    }
  }
  EXPECT_GT(crossing, 20);
}

TEST(TpcGeom2, ArcSweepAndPoints) {
  // A clockwise quarter from (1, 0) to (0, -1) about the origin.
  const tpc::Curve q = tpc::arcCurve(1, 0, 0, -1, 0, 0, -1);
  EXPECT_NEAR(q.sweep, tpc::kPi / 2, 1e-12);
  EXPECT_TRUE(tpc::arcHas(q, -tpc::kPi / 4));
  EXPECT_FALSE(tpc::arcHas(q, tpc::kPi / 4));
  double x, y;
  tpc::curveAt(q, 0.5, x, y);
  EXPECT_NEAR(x, std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(y, -std::sqrt(0.5), 1e-12);
  // Equal ends make a full circle; its box is the circle's.
  const tpc::Curve full = tpc::arcCurve(3, 1, 3, 1, 1, 1, 1);
  EXPECT_NEAR(full.sweep, 2 * tpc::kPi, 1e-12);
  double x0, y0, x1, y1;
  tpc::curveBox(full, x0, y0, x1, y1);
  EXPECT_NEAR(x0, -1, 1e-12);
  EXPECT_NEAR(y0, -1, 1e-12);
  EXPECT_NEAR(x1, 3, 1e-12);
  EXPECT_NEAR(y1, 3, 1e-12);
  EXPECT_NEAR(tpc::distPointCurve(1, 1, full), 2, 1e-12);  // from the centre
}

// The same contour as a polygon of 20,000 chords per arc.
std::vector<std::pair<double, double>> finePolygon(const std::vector<tpc::Curve>& chain) {
  std::vector<std::pair<double, double>> pts;
  for (const tpc::Curve& c : chain) {
    const int n = c.turn == 0 ? 1 : 20000;
    for (int i = 0; i < n; ++i) {
      double x, y;
      tpc::curveAt(c, static_cast<double>(i) / n, x, y);
      pts.emplace_back(x, y);
    }
  }
  return pts;
}

// A plain crossing count of a polygon.
int polygonWinding(const std::vector<std::pair<double, double>>& pts, double px, double py) {
  int w = 0;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const auto& a = pts[i];
    const auto& b = pts[(i + 1) % pts.size()];
    if ((a.second <= py) == (b.second <= py)) continue;
    const double x = a.first + (py - a.second) * (b.first - a.first) / (b.second - a.second);
    if (x > px) w += b.second > a.second ? 1 : -1;
  }
  return w;
}

TEST(TpcGeom2, WindingMatchesFinePolygon) {
  // A rounded slot (clockwise), a circle, a shape whose arc bulges inwards, and circles that
  // start below their top, either way round.
  const double sx = 2 + 3 * std::cos(0.6), sy = 2 + 3 * std::sin(0.6);
  const std::vector<std::vector<tpc::Elem2>> shapes = {
      {{0, 0, 0, 4, 0, 0, 0},
       {0, 4, 6, 4, -1, 3, 4},
       {6, 4, 6, 0, 0, 0, 0},
       {6, 0, 0, 0, -1, 3, 0}},
      tpc::circle(2, 2, 3, 0, 0).elems,
      {{0, 0, 8, 0, 0, 0, 0},
       {8, 0, 8, 6, 0, 0, 0},
       {8, 6, 0, 6, 0, 0, 0},
       {0, 6, 0, 0, -1, -2, 3}},
      {{sx, sy, sx, sy, 1, 2, 2}},
      {{sx, sy, sx, sy, -1, 2, 2}},
  };
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-3, 9);
  for (std::size_t s = 0; s < shapes.size(); ++s) {
    std::vector<tpc::Curve> chain;
    for (const tpc::Elem2& e : shapes[s]) chain.push_back(tpc::elemCurve(e));
    const auto poly = finePolygon(chain);
    int inside = 0;
    for (int i = 0; i < 400; ++i) {
      const double x = u(rng), y = u(rng);
      double d = std::numeric_limits<double>::infinity();
      for (const tpc::Curve& c : chain) d = std::min(d, tpc::distPointCurve(x, y, c));
      if (d < 1e-3) continue;  // the polygon differs from the arcs by up to 1e-7
      const int w = tpc::windingNumber(chain, x, y);
      EXPECT_EQ(w, polygonWinding(poly, x, y)) << "shape " << s << " at " << x << ", " << y;
      inside += w != 0;
    }
    EXPECT_GT(inside, 20) << "shape " << s;
  }
}

// A row through a vertex and along the top and bottom of arcs is counted once.
TEST(TpcGeom2, RowThroughVerticesCountsOnce) {
  const tpc::Contour diamond = tpc::polygon({{0, -1}, {1, 0}, {0, 1}, {-1, 0}}, 0, 0);
  std::vector<tpc::Curve> chain;
  for (const tpc::Elem2& e : diamond.elems) chain.push_back(tpc::elemCurve(e));
  EXPECT_NE(tpc::windingNumber(chain, -0.5, 0), 0);
  EXPECT_EQ(tpc::windingNumber(chain, -1.5, 0), 0);
  EXPECT_EQ(tpc::windingNumber(chain, 1.5, 0), 0);
  std::vector<tpc::Curve> circle{tpc::elemCurve(tpc::circle(0, 0, 1, 0, 0).elems[0])};
  EXPECT_EQ(tpc::windingNumber(circle, -2, 1), 0);   // tangent at the top
  EXPECT_EQ(tpc::windingNumber(circle, -2, -1), 0);  // tangent at the bottom
  EXPECT_NE(tpc::windingNumber(circle, 0, 0.999), 0);
}

// Box edges at infinity or far beyond the grid were cast to int unclamped (undefined; in practice
// the lowest int, clamped to cell 0): the ray towards +x that the pocket checks use for winding
// numbers then met no cell but the first column, and a feed in the middle of an island passed.
TEST(TpcGeom2, BucketRangeReachesTheBorderFromInfinity) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  tpc::BoxBuckets g;
  std::vector<std::array<double, 4>> boxes;
  for (int i = 0; i < 10; ++i) boxes.push_back({i * 10.0, i * 10.0, i * 10.0 + 5, i * 10.0 + 5});
  tpc::bucketBoxes(boxes, 1.0, 512, g);
  ASSERT_GT(g.nx, 3);
  ASSERT_GT(g.ny, 3);
  struct Case {
    const char* name;
    double x0, y0, x1, y1;
    bool meets;
    int i0, j0, i1, j1;  // -1: the last cell of the row or column
  };
  const Case cases[] = {
      {"ray towards +x", 50, 50, kInf, 50, true, -2, -2, -1, -2},
      {"ray towards -x", -kInf, 50, 50, 50, true, 0, -2, -2, -2},
      {"the whole plane", -kInf, -kInf, kInf, kInf, true, 0, 0, -1, -1},
      {"far beyond the int range", -1e300, -1e300, 1e300, 1e300, true, 0, 0, -1, -1},
      {"beyond the grid", 1e300, 0, kInf, 10, false, 0, 0, 0, 0},
  };
  const int mid = static_cast<int>(std::floor((50 - g.x0) / g.cell));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int i0 = 7, j0 = 7, i1 = 7, j1 = 7;
    ASSERT_EQ(tpc::bucketRange(g, c.x0, c.y0, c.x1, c.y1, i0, j0, i1, j1), c.meets);
    if (!c.meets) continue;
    auto want = [&](int v, int last) { return v == -1 ? last : v == -2 ? mid : v; };
    EXPECT_EQ(i0, want(c.i0, g.nx - 1));
    EXPECT_EQ(j0, want(c.j0, g.ny - 1));
    EXPECT_EQ(i1, want(c.i1, g.nx - 1));
    EXPECT_EQ(j1, want(c.j1, g.ny - 1));
  }
  // The fault as a pocket check saw it: a feed deep inside a square island.
  tpc::Pocket pocket;
  pocket.outer = tpc::rectangle(0, 0, 100, 100, 0, 0);
  pocket.islands = {tpc::rectangle(20, 20, 80, 80, 0, 0)};
  tpc::Path path;
  ASSERT_TRUE(tpc::passes(
      tpc::readPofText(path, "31: oL( x[/50] y[/50] z[/-1] )\n31: oL( x[/55] )\n0: cycleEnd(t)\n",
                       tpc::Tool::flat(1))));
  const tpc::Result indexed = tpc::checkNoGouge2D(path, pocket);
  const tpc::Result plain = tpc::checkNoGouge2D(path, pocket, {.plainScan = true});
  EXPECT_FALSE(indexed.ok) << indexed.message;
  EXPECT_FALSE(plain.ok) << plain.message;
  EXPECT_EQ(indexed.worst, plain.worst);
}

}  // namespace
