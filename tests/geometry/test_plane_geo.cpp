// Plane analytic geometry: line equations, orientation, pseudo-angles, root solvers checked by
// substitution, circle cuts lying on both curves, arcs and the on-segment tolerances.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/plane_geo.h"

namespace {
Arc2D circle(double cx, double cy, double r) {
  Arc2D a{};
  a.cx = cx;
  a.cy = cy;
  a.radius = r;
  return a;
}

Arc2D arc(Point2D s, Point2D e, Point2D c, int dir) {
  Arc2D a{};
  a.sx = s.x;
  a.sy = s.y;
  a.ex = e.x;
  a.ey = e.y;
  a.cx = c.x;
  a.cy = c.y;
  a.radius = geoDist2D(s, c);
  a.dir = dir;
  return a;
}
}  // namespace

TEST(PlaneGeo, LineEquationSidesAndFeet) {
  double a, b, c;
  ASSERT_EQ(geoLineEq({0, 0, 1, 0}, &a, &b, &c), 1);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, -1.0);
  EXPECT_EQ(c, 0.0);
  EXPECT_EQ(geoLineSide({0, 1}, a, b, c), -1);
  EXPECT_EQ(geoLineSide({0, -1}, a, b, c), 1);
  EXPECT_EQ(geoLineSide({5, 0}, a, b, c), 0);
  EXPECT_EQ(geoLineEq({1, 1, 1, 1}, &a, &b, &c), 0);
  EXPECT_EQ(a + b + c, 0.0);
  EXPECT_DOUBLE_EQ(geoDistToLine({3, 4}, {0, 0, 0, 0}), 5.0);
  Point2D foot{};
  EXPECT_EQ(geoFootOnSeg({2, 3}, {0, 0, 4, 0}, &foot), 1);
  EXPECT_DOUBLE_EQ(foot.x, 2);
  EXPECT_EQ(geoFootOnSeg({5, 3}, {0, 0, 4, 0}, &foot), 0);
  EXPECT_DOUBLE_EQ(foot.x, 5) << "the foot is written even outside the segment";
  EXPECT_EQ(geoFootOnSeg({4, 3}, {0, 0, 4, 0}, &foot), 1) << "ends included";
}

TEST(PlaneGeo, CcwAreaAndPseudoAngles) {
  EXPECT_EQ(geoCcw({0, 0}, {1, 0}, {2, 0}), 1);
  EXPECT_EQ(geoCcw({0, 0}, {2, 0}, {1, 0}), 0);
  EXPECT_EQ(geoCcw({0, 0}, {1, 0}, {-1, 0}), -1);
  EXPECT_EQ(geoCcw({0, 0}, {1, 0}, {1, 1}), 1);
  EXPECT_EQ(geoCcw({0, 0}, {1, 0}, {1, -1}), -1);
  EXPECT_DOUBLE_EQ(geoTriArea2D({0, 0}, {2, 0}, {0, 2}), 2.0);
  const struct {
    double dx, dy, expected;
  } cases[] = {{1, 0, 0}, {0, 1, 2}, {-1, 0, 4}, {0, -1, 6}, {1, -1, 7}, {0, 0, 0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(geoPseudoAngle(c.dx, c.dy, 0, 1), c.expected);
  EXPECT_DOUBLE_EQ(geoPseudoAngle(0, 1, 2.000001, 1), 0.0) << "just below ref counts as 0";
  EXPECT_DOUBLE_EQ(geoPseudoAngle(1, 0, 1, 1), 7.0);
  EXPECT_DOUBLE_EQ(geoPseudoAngle(0, 1, 0, -1), 6.0);
  // Monotone in the true angle.
  double last = -1;
  for (int k = 0; k < 360; ++k) {
    const double t = k * M_PI / 180;
    const double g = geoPseudoAngle(std::cos(t), std::sin(t), 0, 1);
    EXPECT_GT(g, last) << k;
    last = g;
  }
}

TEST(PlaneGeo, AngleBetweenAndTruncation) {
  double out = -1;
  EXPECT_EQ(geoAngleBetween({1, 0}, {0, 0}, {0, 1}, 1, &out), 1);
  EXPECT_NEAR(out, M_PI / 2, 1e-12);
  geoAngleBetween({1, 0}, {0, 0}, {0, 1}, -1, &out);
  EXPECT_NEAR(out, 3 * M_PI / 2, 1e-12);
  geoAngleBetween({1, 0}, {0, 0}, {-1, -0.0001}, 1, &out);
  EXPECT_NEAR(out, M_PI + 0.0001, 1e-9);
  geoAngleBetween({1, 0}, {0, 0}, {1, 0}, -1, &out);
  EXPECT_LT(out, 1e-7) << "a zero angle stays near 0 clockwise, not 2 pi";
  EXPECT_EQ(geoAngleBetween({0, 0}, {0, 0}, {1, 0}, 1, &out), 0);
  EXPECT_EQ(out, 0.0);
  EXPECT_EQ(geoAngleAtVertex({1, 0}, {0, 0}, {0, 1}, 1, &out), 0);
  EXPECT_NEAR(out, M_PI / 2, 1e-12);
  double v = 2.34567;
  EXPECT_EQ(geoTruncMilli(&v), 1);
  EXPECT_DOUBLE_EQ(v, 2.345);
  v = -2.34567;
  geoTruncMilli(&v);
  EXPECT_DOUBLE_EQ(v, -2.345);
}

TEST(PlaneGeo, LineCutsAndSegmentCrossing) {
  Point2D p{};
  EXPECT_EQ(geoLineLineCut({0, 0, 2, 2}, {0, 2, 2, 0}, &p), 1);
  EXPECT_NEAR(p.x, 1, 1e-12);
  EXPECT_NEAR(p.y, 1, 1e-12);
  EXPECT_EQ(geoLineLineCut({0, 0, 1, 0}, {0, 1, 1, 1}, &p), 0);
  EXPECT_EQ(geoLineLineCutTol({0, 0, 1, 0}, {0, 0, 1, 0.001}, 0.01, &p), 0);
  EXPECT_EQ(geoLineLineCut({0, 0, 0, 0}, {0, 1, 1, 1}, &p), 0);
  EXPECT_EQ(geoSegsCross({0, 0, 2, 2}, {0, 2, 2, 0}), 1);
  EXPECT_EQ(geoSegsCross({0, 0, 1, 0}, {1, 0, 2, 5}), 1) << "touching counts";
  EXPECT_EQ(geoSegsCross({0, 0, 1, 0}, {2, 0, 3, 0}), 0);
  EXPECT_EQ(geoSegsCross({0, 0, 1, 1}, {1, 0, 2, -1}), 0);
}

TEST(PlaneGeo, RootSolversBySubstitution) {
  double r1 = 9, r2 = 9;
  EXPECT_EQ(geoSolveQuadratic(1, -2, 1, &r1, &r2), 2);
  EXPECT_EQ(r1, 1.0);
  EXPECT_EQ(r2, 1.0);
  EXPECT_EQ(geoSolveQuadratic(0, 2, -4, &r1, &r2), 1);
  EXPECT_EQ(r1, 2.0);
  EXPECT_EQ(r2, 0.0);
  EXPECT_EQ(geoSolveQuadratic(0, 0, 5, &r1, &r2), 0);
  EXPECT_EQ(geoSolveQuadratic(0, 0, 0, &r1, &r2), -1);
  EXPECT_EQ(geoSolveQuadratic(1, 0, 1, &r1, &r2), 0);
  EXPECT_EQ(r1 + r2, 0.0);
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> u(-100, 100);
  for (int k = 0; k < 1000; ++k) {
    const double a = u(rng), b = u(rng), c = u(rng);
    if (geoSolveQuadratic(a, b, c, &r1, &r2) != 2) {
      EXPECT_LT(b * b - 4 * a * c, 0.0);
      continue;
    }
    for (double x : {r1, r2}) {
      const double scale = std::fabs(a * x * x) + std::fabs(b * x) + std::fabs(c);
      EXPECT_NEAR(a * x * x + b * x + c, 0.0, 1e-12 * scale) << a << " " << b << " " << c;
    }
  }
  // Widely different roots keep their precision (no cancellation).
  EXPECT_EQ(geoSolveQuadratic(1, -1e8, 1, &r1, &r2), 2);
  EXPECT_NEAR(r2, 1e-8, 1e-20);
}

TEST(PlaneGeo, CircleCutsLieOnBothCurves) {
  std::mt19937 rng(29);
  std::uniform_real_distribution<double> u(-5, 5), rr(0.5, 5);
  int found = 0;
  for (int k = 0; k < 2000; ++k) {
    const Arc2D c1 = circle(u(rng), u(rng), rr(rng)), c2 = circle(u(rng), u(rng), rr(rng));
    Point2D p1{}, p2{};
    const double d = std::hypot(c1.cx - c2.cx, c1.cy - c2.cy);
    if (std::fabs(d - c1.radius - c2.radius) < 1e-6 ||
        std::fabs(d - std::fabs(c1.radius - c2.radius)) < 1e-6)
      continue;  // too close to tangent for the comparison below
    const int n = geoCircleCircleCut(c1, c2, &p1, &p2);
    const bool meet =
        d < c1.radius + c2.radius - 1e-6 && d > std::fabs(c1.radius - c2.radius) + 1e-6;
    ASSERT_EQ(n, meet ? 2 : 0) << k;
    if (n == 2) {
      ++found;
      for (const Point2D& p : {p1, p2}) {
        EXPECT_NEAR(geoDist2D(p, {c1.cx, c1.cy}), c1.radius, 1e-8);
        EXPECT_NEAR(geoDist2D(p, {c2.cx, c2.cy}), c2.radius, 1e-8);
      }
    }
    const Seg2D s{u(rng), u(rng), u(rng), u(rng)};
    if (geoSegCircleCut(s, c1, &p1, &p2) == 2) {
      for (const Point2D& p : {p1, p2}) {
        EXPECT_NEAR(geoDist2D(p, {c1.cx, c1.cy}), c1.radius, 1e-8);
        EXPECT_NEAR(geoDistToLine(p, s), 0.0, 1e-8);
      }
    }
  }
  EXPECT_GT(found, 300);
  Point2D p1{}, p2{};
  EXPECT_EQ(geoCircleCircleCut(circle(0, 0, 1), circle(0, 0, 2), &p1, &p2), 0) << "concentric";
  EXPECT_EQ(geoLineCircleCut(0, 1, -1, circle(0, 0, 1), &p1, &p2), 2) << "tangent y = 1";
  EXPECT_DOUBLE_EQ(p1.x, p2.x);
  EXPECT_DOUBLE_EQ(p1.y, 1.0);
  EXPECT_EQ(geoLineCircleCut(0, 0, 1, circle(0, 0, 1), &p1, &p2), -10);
  EXPECT_EQ(geoSegCircleCut({5, 5, 6, 6}, circle(0, 0, 1), &p1, &p2), 0) << "boxes apart";
  EXPECT_EQ(geoSegCircleCut({0.5, 0.5, 0.5, 0.5}, circle(0, 0, 1), &p1, &p2), 0);
}

TEST(PlaneGeo, CircleThroughThreePointsAndPointToCircle) {
  Arc2D out{};
  out.aux1 = 77;
  ASSERT_EQ(geoCircleThrough3({1, 0}, {0, 1}, {-1, 0}, &out), 1);
  EXPECT_NEAR(out.cx, 0, 1e-12);
  EXPECT_NEAR(out.cy, 0, 1e-12);
  EXPECT_NEAR(out.radius, 1, 1e-12);
  EXPECT_EQ(out.aux1, 77);
  EXPECT_EQ(geoCircleThrough3({0, 0}, {1, 1}, {2, 2}, &out), 0);
  EXPECT_EQ(geoCircleThrough3({0, 0}, {0, 0}, {2, 2}, &out), 0);
  Point2D p{};
  ASSERT_EQ(geoPointToCircle({3, 4}, circle(0, 0, 10), &p), 1);
  EXPECT_NEAR(p.x, 6, 1e-12);
  EXPECT_NEAR(p.y, 8, 1e-12);
  p = {42, 42};
  EXPECT_EQ(geoPointToCircle({0, 0}, circle(0, 0, 10), &p), 0);
  EXPECT_EQ(p.x, 42);
}

TEST(PlaneGeo, ArcLengthAndSweep) {
  const Arc2D zero = arc({1, 0}, {1, 0}, {0, 0}, 1);
  EXPECT_EQ(geoArcLength(zero), 0.0);
  Arc2D zeroCw = zero;
  zeroCw.dir = -1;
  EXPECT_EQ(geoArcLength(zeroCw), 6.283185307179586);
  const Arc2D quarter = arc({1, 0}, {0, 1}, {0, 0}, 1);
  EXPECT_NEAR(geoArcLength(quarter), M_PI / 2, 1e-10);
  Arc2D quarterCw = quarter;
  quarterCw.dir = -1;
  EXPECT_NEAR(geoArcLength(quarterCw), 3 * M_PI / 2, 1e-10);
  EXPECT_EQ(geoArcSweepHas({1, 0}, quarter), 1) << "the start direction counts";
  EXPECT_EQ(geoArcSweepHas({1, 1}, quarter), 1);
  EXPECT_EQ(geoArcSweepHas({0, 1}, quarter), 0) << "the end direction does not";
  EXPECT_EQ(geoArcSweepHas({-1, 0}, quarter), 0);
  EXPECT_EQ(geoArcSweepHas({-1, 0}, quarterCw), 1);
}

TEST(PlaneGeo, OnSegmentTolerances) {
  const Seg2D s{0, 0, 10, 0};
  struct Case {
    Point2D p;
    int fine, coarse, near01;
  } cases[] = {
      {{5, 0.0009}, 1, 1, 1}, {{5, 0.002}, 0, 1, 1}, {{5, 0.02}, 0, 0, 1}, {{10.0005, 0}, 1, 0, 1},
      {{10.005, 0}, 0, 0, 1}, {{-0.5, 0}, 0, 0, 0},  {{10, 0}, 1, 1, 1},   {{5, 0.2}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(geoOnSegFine(c.p, s), c.fine) << c.p.x << "," << c.p.y;
    EXPECT_EQ(geoOnSegCoarse(c.p, s), c.coarse) << c.p.x << "," << c.p.y;
    EXPECT_EQ(geoPointNearSeg(c.p, s, 0.1), c.near01) << c.p.x << "," << c.p.y;
  }
  EXPECT_EQ(geoOnSegTol({5, 0.05}, s, 0.1), 1);
  EXPECT_EQ(geoOnSegCoarse({0.005, 0}, {0, 0, 0, 0}), 1);
  EXPECT_EQ(geoOnSegFine({0.0005, 0}, {0, 0, 0, 0}), 1);
  EXPECT_EQ(geoProjInSeg(s, {3, 7}), 1);
  EXPECT_EQ(geoProjInSeg(s, {-1, 0}), 0);
  EXPECT_EQ(geoProjInSeg({0, 0, 0.0005, 0.0005}, {0, 0}), -3);
}

TEST(PlaneGeo, Conversions) {
  Seg2D s{};
  EXPECT_EQ(geoSeg2From3D(&s, {{1, 2, 3}, {4, 5, 6}}), &s);
  EXPECT_EQ(s.x2, 4);
  Seg3D s3{};
  geoSeg3From2D(&s3, {1, 2, 3, 4}, 7, 8);
  EXPECT_EQ(s3.end.z, 8);
  EXPECT_EQ(s3.end.x, 3);
  Tri3D t{};
  geoTriFromFloat(&t, TriF{{1, 2, 3, 4, 5, 6, 7, 8, 9.5f}});
  EXPECT_EQ(t.v[2].z, 9.5);
  EXPECT_EQ(t.v[1].x, 4);
  const double rot[4] = {0, -1, 1, 0};
  Seg2D r = {1, 0, 2, 0};
  geoSegMul2x2(&r, rot, r);
  EXPECT_EQ(r.y1, 1);
  EXPECT_EQ(r.x2, 0);
  EXPECT_EQ(r.y2, 2);
  Point3D p3{};
  geoPt3From2D(&p3, {1, 2}, 3);
  Point2D p2{};
  geoPt2From3D(&p2, p3);
  EXPECT_EQ(p2.y, 2);
}
