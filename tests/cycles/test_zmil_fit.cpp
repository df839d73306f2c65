// Fitting lines and arcs to segment chains, checked against the chain itself: every element stays
// within the tolerance of the input, elements join, circles are recognised only when closed and
// round enough.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "cycles/zmil_fit.h"

namespace {

using Chain = std::vector<Seg2D>;

Chain chainThrough(const std::vector<Point2D>& p) {
  Chain c;
  for (std::size_t i = 0; i + 1 < p.size(); ++i)
    c.push_back({p[i].x, p[i].y, p[i + 1].x, p[i + 1].y});
  return c;
}

// Points of a regular n-gon of radius r around (cx, cy), counter-clockwise from angle a0, closed.
std::vector<Point2D> polygonPoints(double cx, double cy, double r, int n, double a0 = 0) {
  std::vector<Point2D> p;
  for (int i = 0; i <= n; ++i) {
    const double a = a0 + 2 * std::numbers::pi * (i % n) / n;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return p;
}

struct Fit {
  int result;
  std::vector<LineArcElem> elems;
};

Fit fit(const Chain& c, double t) {
  LineArcList* list = lstElemNew(4);
  Fit f{zmilFitElements(c.data(), static_cast<int>(c.size()), t, list), {}};
  for (int i = 0; i < list->count; ++i) f.elems.push_back(list->items[i]);
  lstBox2Free(list);
  return f;
}

double distPointSeg(const Point2D& p, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1, l2 = dx * dx + dy * dy;
  double u = l2 > 0 ? ((p.x - x1) * dx + (p.y - y1) * dy) / l2 : 0;
  u = std::fmin(1, std::fmax(0, u));
  return std::hypot(p.x - x1 - u * dx, p.y - y1 - u * dy);
}

// Distance from p to the element (a line, or the arc's swept part of its circle).
double distPointElem(const Point2D& p, const LineArcElem& e) {
  const Arc2D& a = e.arc;
  if (e.kind == 1) return distPointSeg(p, a.sx, a.sy, a.ex, a.ey);
  const double as = std::atan2(a.sy - a.cy, a.sx - a.cx);
  double sweep = std::atan2(a.ey - a.cy, a.ex - a.cx) - as;
  if (a.dir == 1) {
    while (sweep <= 0) sweep += 2 * std::numbers::pi;
  } else {
    while (sweep >= 0) sweep -= 2 * std::numbers::pi;
  }
  double ap = std::atan2(p.y - a.cy, p.x - a.cx) - as;
  if (a.dir == 1) {
    while (ap < 0) ap += 2 * std::numbers::pi;
  } else {
    while (ap > 0) ap -= 2 * std::numbers::pi;
  }
  if (std::fabs(ap) <= std::fabs(sweep))
    return std::fabs(std::hypot(p.x - a.cx, p.y - a.cy) - a.radius);
  return std::fmin(std::hypot(p.x - a.sx, p.y - a.sy), std::hypot(p.x - a.ex, p.y - a.ey));
}

// Brute force over the elements: the largest distance of a chain point from the nearest element.
double worstDeviation(const Chain& c, const std::vector<LineArcElem>& elems) {
  double worst = 0;
  for (const Seg2D& s : c) {
    for (const Point2D& p : {Point2D{s.x1, s.y1}, Point2D{s.x2, s.y2}}) {
      double best = 1e300;
      for (const LineArcElem& e : elems) best = std::fmin(best, distPointElem(p, e));
      worst = std::fmax(worst, best);
    }
  }
  return worst;
}

void expectJoined(const Chain& c, const std::vector<LineArcElem>& elems) {
  ASSERT_FALSE(elems.empty());
  EXPECT_NEAR(elems.front().arc.sx, c.front().x1, 1e-9);
  EXPECT_NEAR(elems.front().arc.sy, c.front().y1, 1e-9);
  EXPECT_NEAR(elems.back().arc.ex, c.back().x2, 1e-9);
  EXPECT_NEAR(elems.back().arc.ey, c.back().y2, 1e-9);
  for (std::size_t i = 1; i < elems.size(); ++i) {
    EXPECT_NEAR(elems[i].arc.sx, elems[i - 1].arc.ex, 1e-9) << i;
    EXPECT_NEAR(elems[i].arc.sy, elems[i - 1].arc.ey, 1e-9) << i;
  }
}

class ZmilFitTest : public ::testing::Test {
 protected:
  void SetUp() override { zmilResetState(); }
  void TearDown() override { zmilResetState(); }
};

}  // namespace

TEST_F(ZmilFitTest, ClosedPolygonAtTheChainEndIsACircleOnlyWhenRoundEnough) {
  const double t = 0.01;
  // A lead-in from (30, 0) to the 72-gon's first vertex (10, 0), around it, and back out.
  std::vector<Point2D> p{{30, 0}};
  for (const Point2D& q : polygonPoints(0, 0, 10, 72)) p.push_back(q);
  Chain c = chainThrough(p);
  Fit f = fit(c, t);
  ASSERT_EQ(f.result, 1);
  ASSERT_EQ(f.elems.size(), 5u) << "lead-in, then lead line, two half-circle arcs, tail line";
  EXPECT_EQ(f.elems[0].kind, 1);
  EXPECT_EQ(f.elems[1].kind, 1);
  EXPECT_EQ(f.elems[2].kind, 2);
  EXPECT_EQ(f.elems[3].kind, 2);
  EXPECT_EQ(f.elems[4].kind, 1);
  for (int i : {2, 3}) {
    EXPECT_NEAR(f.elems[i].arc.radius, 10, 0.01);
    EXPECT_EQ(f.elems[i].arc.dir, 1);
  }
  EXPECT_LE(worstDeviation(c, f.elems), 2 * t);
  expectJoined(c, f.elems);

  // The 36-gon's area radius and length radius differ by more than the ratio 0.001.
  p = {{30, 0}};
  for (const Point2D& q : polygonPoints(0, 0, 10, 36)) p.push_back(q);
  c = chainThrough(p);
  f = fit(c, t);
  ASSERT_EQ(f.result, 1);
  for (std::size_t i = 1; i < f.elems.size(); ++i) {
    if (f.elems[i].kind == 2) {
      const Arc2D& a = f.elems[i].arc;
      double sweep = std::fabs(std::remainder(
          std::atan2(a.ey - a.cy, a.ex - a.cx) - std::atan2(a.sy - a.cy, a.sx - a.cx),
          2 * std::numbers::pi));
      EXPECT_LT(sweep, kZmilMaxSweep) << "no half circle from the circle rule";
    }
  }
  EXPECT_LE(worstDeviation(c, f.elems), 2 * t);
  expectJoined(c, f.elems);
}

TEST_F(ZmilFitTest, QuarterCircleIsOneArcAndNoArcSweepsThreeQuarterPi) {
  // A quarter circle of radius 20 in 30 chords: one arc from the first to the last point.
  std::vector<Point2D> p;
  for (int i = 0; i <= 30; ++i) {
    const double a = std::numbers::pi / 2 * i / 30;
    p.push_back({20 * std::cos(a), 20 * std::sin(a)});
  }
  Chain c = chainThrough(p);
  Fit f = fit(c, 0.01);
  ASSERT_EQ(f.result, 1);
  ASSERT_EQ(f.elems.size(), 1u);
  EXPECT_EQ(f.elems[0].kind, 2);
  EXPECT_EQ(f.elems[0].arc.dir, 1);
  EXPECT_NEAR(f.elems[0].arc.radius, 20, 1e-9);

  // Three quarters of a circle (not closed) become several arcs, none of 3 pi / 4 or more.
  p.clear();
  for (int i = 0; i <= 97; ++i) {
    const double a = -1.5 * std::numbers::pi * i / 97;
    p.push_back({20 * std::cos(a), 20 * std::sin(a)});
  }
  c = chainThrough(p);
  f = fit(c, 0.01);
  ASSERT_EQ(f.result, 1);
  EXPECT_GE(f.elems.size(), 2u);
  int arcs = 0;
  for (const LineArcElem& e : f.elems) {
    if (e.kind != 2) continue;  // a short rest may stay a line
    ++arcs;
    EXPECT_EQ(e.arc.dir, -1);
    const double chord = std::hypot(e.arc.ex - e.arc.sx, e.arc.ey - e.arc.sy);
    EXPECT_LT(chord, 2 * 20 * std::sin(kZmilMaxSweep / 2) + 1e-9) << "sweep below 3 pi / 4";
  }
  EXPECT_GE(arcs, 2);
  EXPECT_LE(worstDeviation(c, f.elems), 0.02);
  expectJoined(c, f.elems);
}

// Random wiggly chains of lines and arcs: brute force finds no chain point farther than 2t from
// the elements, and the elements join end to start.
TEST_F(ZmilFitTest, RandomChainsStayWithinTwiceTheTolerance) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> turn(-0.4, 0.4), len(0.5, 2.0);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<Point2D> p{{0, 0}};
    double heading = 0;
    for (int i = 0; i < 80; ++i) {
      heading += i % 20 < 10 ? 0.0 : turn(rng) * 0.3;
      const double l = len(rng);
      p.push_back({p.back().x + l * std::cos(heading), p.back().y + l * std::sin(heading)});
    }
    const Chain c = chainThrough(p);
    for (double t : {0.001, 0.05}) {
      const Fit f = fit(c, t);
      ASSERT_EQ(f.result, 1);
      EXPECT_LE(worstDeviation(c, f.elems), 2 * t) << trial;
      expectJoined(c, f.elems);
    }
  }
}

TEST_F(ZmilFitTest, ShortChainsLongSegmentsAndTinyTolerances) {
  // One segment: one line.
  Fit f = fit({{0, 0, 3, 4}}, 0.01);
  ASSERT_EQ(f.elems.size(), 1u);
  EXPECT_EQ(f.elems[0].kind, 1);
  // Four segments on a circle: never an arc (an arc needs five).
  std::vector<Point2D> p;
  for (int i = 0; i <= 4; ++i) p.push_back({10 * std::cos(0.1 * i), 10 * std::sin(0.1 * i)});
  f = fit(chainThrough(p), 0.01);
  for (const LineArcElem& e : f.elems) EXPECT_EQ(e.kind, 1);
  // A tolerance below 0.00001 gives lines only, the whole chain kept.
  p.clear();
  for (int i = 0; i <= 20; ++i) p.push_back({10 * std::cos(0.05 * i), 10 * std::sin(0.05 * i)});
  f = fit(chainThrough(p), 0.000001);
  EXPECT_EQ(f.elems.size(), 20u);
  for (const LineArcElem& e : f.elems) EXPECT_EQ(e.kind, 1);

  // Long segments: with 1e30 nothing is cut; with 2 a segment of length 5 is cut 2, 2, 1, and a
  // straight run gives lines no longer than 2.
  const Seg2D five{0, 0, 5, 0};
  Kont2D* k = zmilSplitLongSegments(&five, 1);
  ASSERT_EQ(k->count, 1);
  kontFree(k);
  zmilSetMaxSegment(2);
  k = zmilSplitLongSegments(&five, 1);
  ASSERT_EQ(k->count, 3);
  EXPECT_DOUBLE_EQ(k->segments[0].x2, 2);
  EXPECT_DOUBLE_EQ(k->segments[1].x2, 4);
  EXPECT_DOUBLE_EQ(k->segments[2].x2, 5);
  kontFree(k);
  f = fit({{0, 0, 5, 0}, {5, 0, 5, 0.5}}, 0.01);
  ASSERT_EQ(f.result, 1);
  for (const LineArcElem& e : f.elems) {
    EXPECT_LE(std::hypot(e.arc.ex - e.arc.sx, e.arc.ey - e.arc.sy), 2 + 1e-12);
  }
  // A length far too small to cut by keeps the segment whole instead of stalling.
  zmilSetMaxSegment(1e-300);
  k = zmilSplitLongSegments(&five, 1);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->count, 1);
  kontFree(k);
}
