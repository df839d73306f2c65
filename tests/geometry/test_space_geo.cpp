// Tests of the space geometry and the contact solvers: roots by substitution, ellipse nearest
// points against dense sampling, segment against offset ellipse against a sampled distance
// function, torus contact against a sampled torus function, and slab-clipped triangle pieces
// against an independently clipped area.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/geo_error.h"
#include "geometry/space_geo.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

Point3D sub(const Point3D& a, const Point3D& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3D add(const Point3D& a, const Point3D& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3D scale(double f, const Point3D& a) { return {f * a.x, f * a.y, f * a.z}; }
double dot(const Point3D& a, const Point3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Point3D cross(const Point3D& a, const Point3D& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double len(const Point3D& a) { return std::sqrt(dot(a, a)); }
Point3D unit(const Point3D& a) { return scale(1.0 / len(a), a); }
double dist(const Point3D& a, const Point3D& b) { return len(sub(a, b)); }
double dist2(const Point2D& a, const Point2D& b) { return std::hypot(a.x - b.x, a.y - b.y); }
void expectPoint(const Point3D& got, const Point3D& want, double tol) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}
Point3D randomPoint(std::mt19937& rng, double r) {
  std::uniform_real_distribution<double> u(-r, r);
  return {u(rng), u(rng), u(rng)};
}
// Distance from p to the infinite line through a and b.
double lineDist(const Point3D& p, const Point3D& a, const Point3D& b) {
  return len(cross(sub(b, a), sub(p, a))) / len(sub(b, a));
}
double triArea(const Tri3D& t) {
  return 0.5 * len(cross(sub(t.v[1], t.v[0]), sub(t.v[2], t.v[0])));
}
// Barycentric coordinates of p (in the plane of t).
void barycentric(const Tri3D& t, const Point3D& p, double l[3]) {
  const Point3D n = cross(sub(t.v[1], t.v[0]), sub(t.v[2], t.v[0]));
  const double nn = dot(n, n);
  l[0] = dot(n, cross(sub(t.v[2], t.v[1]), sub(p, t.v[1]))) / nn;
  l[1] = dot(n, cross(sub(t.v[0], t.v[2]), sub(p, t.v[2]))) / nn;
  l[2] = 1.0 - l[0] - l[1];
}
// The ellipse point at parameter phi, in world coordinates.
Point2D ellipsePoint(const Ellipse2D& e, double phi) {
  const double u = e.a * std::cos(phi), v = e.b * std::sin(phi);
  return {e.cx + u * std::cos(e.theta) - v * std::sin(e.theta),
          e.cy + u * std::sin(e.theta) + v * std::cos(e.theta)};
}
Point2D toLocal(const Ellipse2D& e, const Point2D& p) {
  const double x = p.x - e.cx, y = p.y - e.cy;
  return {x * std::cos(e.theta) + y * std::sin(e.theta),
          -x * std::sin(e.theta) + y * std::cos(e.theta)};
}
// Smallest distance from p to n samples of the ellipse.
double sampledEllipseDist(const Ellipse2D& e, const Point2D& p, int n) {
  double best = 1e300;
  for (int i = 0; i < n; ++i) best = std::fmin(best, dist2(p, ellipsePoint(e, 2 * kPi * i / n)));
  return best;
}
}  // namespace

// ---- root search ------------------------------------------------------------------------------

TEST(RegulaFalsi, FindsRootsBySubstitution) {
  struct Case {
    GeoRootFn f;
    double lo, hi, root;
  };
  const Case cases[] = {
      {[](double t, const void*) { return t * t * t - 2.0; }, 0.0, 2.0, std::cbrt(2.0)},
      {[](double t, const void*) { return std::cos(t); }, 0.0, 3.0, kPi / 2},
      {[](double t, const void*) { return t; }, -1.0, 3.0, 0.0},
      {[](double t, const void*) { return t - 1.0; }, 0.0, 1.0, 1.0},  // a zero at the end
      // A fivefold root, more than the quartics here can have: slow, yet well within the limit.
      {[](double t, const void*) { return std::pow(t - 0.3, 5); }, 0.0, 1.0, 0.3},
  };
  for (const Case& c : cases) {
    double t = -99;
    EXPECT_EQ(geoRegulaFalsi(c.f, nullptr, c.lo, c.hi, &t), 1);
    EXPECT_NEAR(t, c.root, 1e-12);
  }
}

TEST(RegulaFalsi, ReportsWhatItCannotSolve) {
  double t = -99;
  EXPECT_EQ(geoRegulaFalsi([](double x, const void*) { return x * x + 1; }, nullptr, -1, 1, &t), 0);
  EXPECT_EQ(t, -99);  // no bracket: out unchanged
  // A value that is not a number inside the bracket.
  EXPECT_EQ(
      geoRegulaFalsi([](double x, const void*) { return std::fabs(x - 0.5) < 0.2 ? NAN : x - 0.5; },
                     nullptr, 0, 1, &t),
      -1);
  // A root of multiplicity 15 needs more steps than the limit: the search ends as failed
  // instead of running on.
  EXPECT_EQ(geoRegulaFalsi([](double x, const void*) { return std::pow(x - 0.3, 15); }, nullptr, 0,
                           1, &t),
            -1);
  EXPECT_EQ(t, -99);
  EXPECT_EQ(geoRegulaFalsi(nullptr, nullptr, 0, 1, &t), -20);
}

// ---- planes, triangles, distances -------------------------------------------------------------

TEST(SpacePlane, TrianglePlaneBySubstitution) {
  std::mt19937 rng(3);
  for (int k = 0; k < 200; ++k) {
    const Tri3D t{{randomPoint(rng, 10), randomPoint(rng, 10), randomPoint(rng, 10)}};
    double a, b, c, d;
    ASSERT_EQ(geoTriPlane(t, &a, &b, &c, &d), 1);
    EXPECT_NEAR(a * a + b * b + c * c, 1.0, 1e-12);
    for (const auto& v : t.v) EXPECT_NEAR(a * v.x + b * v.y + c * v.z + d, 0.0, 1e-9);
    const Point3D n = cross(sub(t.v[1], t.v[0]), sub(t.v[2], t.v[0]));
    EXPECT_GT(a * n.x + b * n.y + c * n.z, 0.0);  // the corners' turning sense
  }
  double a, b, c, d;
  EXPECT_EQ(geoTriPlane(Tri3D{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}}, &a, &b, &c, &d), 0);
  EXPECT_EQ(geoTriPlane(Tri3D{}, nullptr, &b, &c, &d), -20);
}

TEST(SpacePlane, SideAndLineCut) {
  // The plane z = 2.
  EXPECT_EQ(geoPlaneSide({5, 5, 3}, 0, 0, 1, -2), 1);
  EXPECT_EQ(geoPlaneSide({5, 5, 1}, 0, 0, 1, -2), -1);
  EXPECT_EQ(geoPlaneSide({5, 5, 2}, 0, 0, 1, -2), 0);
  Point3D out{7, 7, 7};
  EXPECT_EQ(geoLinePlaneCut(0, 0, 1, -2, Seg3D{{0, 0, 0}, {1, 1, 0}}, &out), 0);  // parallel
  expectPoint(out, {7, 7, 7}, 0.0);
  EXPECT_EQ(geoLinePlaneCut(0, 0, 1, -2, Seg3D{{0, 0, 0}, {1, 0, 1}}, &out), 1);  // beyond the end
  expectPoint(out, {2, 0, 2}, 1e-12);
  std::mt19937 rng(4);
  for (int k = 0; k < 100; ++k) {
    const Tri3D t{{randomPoint(rng, 10), randomPoint(rng, 10), randomPoint(rng, 10)}};
    double a, b, c, d;
    geoTriPlane(t, &a, &b, &c, &d);
    const Seg3D s{randomPoint(rng, 10), randomPoint(rng, 10)};
    ASSERT_EQ(geoLinePlaneCut(a, b, c, d, s, &out), 1);
    EXPECT_NEAR(a * out.x + b * out.y + c * out.z + d, 0.0, 1e-6);
    EXPECT_NEAR(lineDist(out, s.start, s.end), 0.0, 1e-6);
  }
}

TEST(SpaceDistance, FootAndLineDistance) {
  std::mt19937 rng(6);
  for (int k = 0; k < 200; ++k) {
    const Seg3D s{randomPoint(rng, 10), randomPoint(rng, 10)};
    const Point3D p = randomPoint(rng, 15);
    Point3D f{};
    const int in = geoFootOnSeg3D(p, s, &f);
    EXPECT_NEAR(dot(sub(p, f), sub(s.end, s.start)), 0.0, 1e-8);
    EXPECT_NEAR(lineDist(f, s.start, s.end), 0.0, 1e-9);
    const bool between = dist(s.start, f) + dist(f, s.end) < dist(s.start, s.end) + 1e-9;
    EXPECT_EQ(in, between ? 1 : 0);
    EXPECT_NEAR(geoDistPointLine3D(p, s), dist(p, f), 1e-9);
    EXPECT_DOUBLE_EQ(geoDist3D(p, f), dist(p, f));
  }
  // A zero-length segment: that point and 1; a tie between the ends of a tiny one: the end.
  Point3D f{};
  EXPECT_EQ(geoFootOnSeg3D({5, 5, 5}, Seg3D{{1, 2, 3}, {1, 2, 3}}, &f), 1);
  expectPoint(f, {1, 2, 3}, 0.0);
  EXPECT_EQ(geoFootOnSeg3D({0, 5, 0}, Seg3D{{-1e-7, 0, 0}, {1e-7, 0, 0}}, &f), 1);
  expectPoint(f, {1e-7, 0, 0}, 0.0);
  EXPECT_NEAR(geoDistPointLine3D({3, 4, 0}, Seg3D{{0, 0, 0}, {1e-4, 0, 0}}), 5.0, 1e-3);
}

// Points lifted off random triangles along the normal: inside exactly when all barycentric
// coordinates are non-negative, and the projection is the lifted-from point.
TEST(SpaceTriangle, PointInTriangleByBarycentric) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> u(-0.3, 1.3), lift(-5, 5);
  int inside = 0;
  for (int k = 0; k < 400; ++k) {
    Tri3D t{{randomPoint(rng, 10), randomPoint(rng, 10), randomPoint(rng, 10)}};
    // Triangles facing along x or y as well, whose test drops that coordinate.
    for (auto& v : t.v) {
      if (k % 3 == 1) v.x *= 0.01;
      if (k % 3 == 2) v.y *= 0.01;
    }
    if (triArea(t) < 1.0) continue;
    const double l0 = u(rng), l1 = u(rng) * (1 - l0);
    const double l[3] = {l0, l1, 1 - l0 - l1};
    if (std::fmin(std::fabs(l[0]), std::fmin(std::fabs(l[1]), std::fabs(l[2]))) < 1e-6) continue;
    const Point3D on = add(add(scale(l[0], t.v[0]), scale(l[1], t.v[1])), scale(l[2], t.v[2]));
    const Point3D n = unit(cross(sub(t.v[1], t.v[0]), sub(t.v[2], t.v[0])));
    Point3D out{};
    const int want = (l[0] >= 0 && l[1] >= 0 && l[2] >= 0) ? 1 : 0;
    EXPECT_EQ(geoPointInTri3D(add(on, scale(lift(rng), n)), t, &out), want);
    expectPoint(out, on, 1e-8);
    inside += want;
  }
  EXPECT_GT(inside, 50);
  // Above a horizontal triangle: projected to its height, tested in x and y; its corners count.
  const Tri3D flat{{{0, 0, 2}, {10, 0, 2}, {0, 10, 2}}};
  Point3D out{};
  EXPECT_EQ(geoPointInTri3D({2, 3, 9}, flat, &out), 1);
  expectPoint(out, {2, 3, 2}, 0.0);
  EXPECT_EQ(geoPointInTri3D({10, 0, 9}, flat, &out), 1);
  EXPECT_EQ(geoPointInTri3D({6, 6, -1}, flat, &out), 0);
  // A triangle without area contains nothing.
  EXPECT_EQ(geoPointInTri3D({1, 1, 1}, Tri3D{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}}, &out), 0);
}

TEST(SpaceTriangle, SortByHeight) {
  std::mt19937 rng(9);
  for (int k = 0; k < 100; ++k) {
    const Tri3D t{{randomPoint(rng, 10), randomPoint(rng, 10), randomPoint(rng, 10)}};
    Tri3D s{};
    EXPECT_EQ(geoTriSortZ(t, &s), 1);
    EXPECT_GE(s.v[0].z, s.v[1].z);
    EXPECT_GE(s.v[1].z, s.v[2].z);
    EXPECT_DOUBLE_EQ(s.v[0].x + s.v[1].x + s.v[2].x, t.v[0].x + t.v[1].x + t.v[2].x);
  }
  const Tri3D level{{{1, 0, 5}, {2, 0, 5}, {3, 0, 5}}};  // equal heights keep their order
  Tri3D s{};
  geoTriSortZ(level, &s);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s.v[i].x, level.v[i].x);
}

// ---- offset face ------------------------------------------------------------------------------

TEST(OffsetFace, WallContactAndBadFaces) {
  const Tri3D wall{{{0, -10, -10}, {0, 10, -10}, {0, 0, 10}}};  // the plane x = 0
  Point3D out{};
  EXPECT_EQ(geoOffsetFaceCut({5, 1, 0}, 3, 2, wall, &out), 1);
  expectPoint(out, {0, 1, 0}, 1e-12);
  EXPECT_EQ(geoOffsetFaceCut({5, 30, 0}, 3, 2, wall, &out), 0);  // beside the face
  EXPECT_EQ(geoOffsetFaceCut({0, 1, 0}, 3, 2, wall, &out), 0);   // on the plane
  geoErrReset();
  EXPECT_EQ(geoOffsetFaceCut({5, 1, 0}, 3, 2, Tri3D{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}}, &out), -11);
  EXPECT_EQ(geoErrCode(), -11);
}

// A horizontal face divided by zero when its offset plane was cut with z = p.z, and the
// not-a-number foot passed the inside test: contact reported at a point of no numbers.
TEST(OffsetFace, HorizontalFaceHasNoContactLine) {
  const Tri3D floor{{{-10, -10, 0}, {10, -10, 0}, {0, 10, 0}}};
  Point3D out{};
  EXPECT_EQ(geoOffsetFaceCut({1, 1, 3}, 3, 2, floor, &out), 0);
  EXPECT_EQ(geoOffsetFaceCut({1, 1, 2}, 3, 2, floor, &out), 0);
}

// Substitution: the contact point lies on the face; moved back by the offset along the normal it
// is at the height of p, on the offset plane, and its horizontal step from p is perpendicular to
// the face's level line.
TEST(OffsetFace, ContactLiesOnTheOffsetFace) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> off(0.5, 3);
  int hits = 0;
  for (int k = 0; k < 400; ++k) {
    const Tri3D t{{randomPoint(rng, 10), randomPoint(rng, 10), randomPoint(rng, 10)}};
    const Point3D p = randomPoint(rng, 8);
    const double offset = off(rng);
    double a, b, c, d;
    if (geoTriPlane(t, &a, &b, &c, &d) != 1 || std::hypot(a, b) < 0.1) continue;
    Point3D out{};
    if (geoOffsetFaceCut(p, 5, offset, t, &out) != 1) continue;
    ++hits;
    const Point3D n{a, b, c};
    const int side = dot(n, p) + d > 0 ? 1 : -1;
    EXPECT_NEAR(dot(n, out) + d, 0.0, 1e-9);
    double l[3];
    barycentric(t, out, l);
    EXPECT_GE(std::fmin(l[0], std::fmin(l[1], l[2])), -1e-9);
    const Point3D foot = add(out, scale(side * offset, n));
    EXPECT_NEAR(foot.z, p.z, 1e-9);
    const Point3D level = cross(n, Point3D{0, 0, 1});
    EXPECT_NEAR(dot(sub(foot, p), level), 0.0, 1e-8);
  }
  EXPECT_GT(hits, 20);
}

// ---- cylinder cut -----------------------------------------------------------------------------

TEST(CylinderCut, KnownCases) {
  Seg2D l1{}, l2{};
  Ellipse2D e{};
  EXPECT_EQ(geoCylinderCutZ(Seg3D{{1, 2, 5}, {1, 2, -5}}, 1, 0.3, &l1, &l2, &e), 3);
  EXPECT_DOUBLE_EQ(e.a, 1);
  EXPECT_DOUBLE_EQ(e.b, 1);
  EXPECT_DOUBLE_EQ(e.theta, kPi / 2);
  EXPECT_DOUBLE_EQ(e.cx, 1);
  EXPECT_DOUBLE_EQ(e.cy, 2);
  // Horizontal axis at height 0 along +x.
  const Seg3D axis{{0, 0, 0}, {10, 0, 0}};
  ASSERT_EQ(geoCylinderCutZ(axis, 1, 0.5, &l1, &l2, &e), 2);
  EXPECT_NEAR(l1.y1, std::sqrt(0.75), 1e-12);  // left of the direction
  EXPECT_NEAR(l2.y1, -std::sqrt(0.75), 1e-12);
  EXPECT_DOUBLE_EQ(l1.x1, 0);
  EXPECT_DOUBLE_EQ(l1.x2, 10);
  ASSERT_EQ(geoCylinderCutZ(axis, 1, 0.9995, &l1, &l2, &e), 1);
  EXPECT_DOUBLE_EQ(l1.y1, 0);
  EXPECT_DOUBLE_EQ(l1.x2, 10);
  EXPECT_EQ(geoCylinderCutZ(axis, 1, 1, &l1, &l2, &e), 0);
  EXPECT_EQ(geoCylinderCutZ(axis, 1, -3, &l1, &l2, &e), 0);
  EXPECT_EQ(geoCylinderCutZ(Seg3D{{1, 1, 1}, {1, 1, 1}}, 1, 1, &l1, &l2, &e), 0);
  EXPECT_EQ(geoCylinderCutZ(axis, 1, 0, nullptr, &l2, &e), -20);
}

// Substitution: every point of the cut lies at distance r from the axis line.
TEST(CylinderCut, CutPointsAreOnTheCylinder) {
  std::mt19937 rng(14);
  std::uniform_real_distribution<double> ur(0.5, 4), uh(-3, 3);
  for (int k = 0; k < 200; ++k) {
    Seg3D s{randomPoint(rng, 10), randomPoint(rng, 10)};
    if (k % 5 == 0) s.end.z = s.start.z;  // horizontal axes
    const double r = ur(rng), h = s.start.z + uh(rng);
    Seg2D l1{}, l2{};
    Ellipse2D e{};
    const int got = geoCylinderCutZ(s, r, h, &l1, &l2, &e);
    if (got == 3) {
      for (int i = 0; i < 36; ++i) {
        const Point2D q = ellipsePoint(e, 2 * kPi * i / 36);
        EXPECT_NEAR(lineDist({q.x, q.y, h}, s.start, s.end), r, 1e-9 * (1 + e.a));
      }
    } else if (got == 2) {
      for (const Seg2D& l : {l1, l2}) {
        EXPECT_NEAR(lineDist({l.x1, l.y1, h}, s.start, s.end), r, 1e-9);
        EXPECT_NEAR(lineDist({l.x2, l.y2, h}, s.start, s.end), r, 1e-9);
      }
      const Point3D lo = s.start.z <= s.end.z ? s.start : s.end;
      const Point3D hi = s.start.z <= s.end.z ? s.end : s.start;
      const double side = (hi.x - lo.x) * (l1.y1 - lo.y) - (hi.y - lo.y) * (l1.x1 - lo.x);
      EXPECT_GT(side, 0.0);  // line1 to the left
    } else {
      EXPECT_EQ(s.start.z, s.end.z);
      EXPECT_GT(std::fabs(h - s.start.z) + 0.001, r);
    }
  }
}

// ---- ellipse nearest point and osculating circle ----------------------------------------------

TEST(EllipseNearest, KnownCases) {
  Point2D q{9, 9};
  const Ellipse2D e{0, 0, 2, 1, 0};
  EXPECT_EQ(geoEllipseNearest({5, 0}, e, &q), 1);
  EXPECT_DOUBLE_EQ(q.x, 2);
  EXPECT_DOUBLE_EQ(q.y, 0);
  q = {9, 9};
  EXPECT_EQ(geoEllipseNearest({0, 0}, e, &q), 0);
  EXPECT_EQ(q.x, 9);  // out untouched
  EXPECT_EQ(geoEllipseNearest({0, -4}, e, &q), 1);
  EXPECT_DOUBLE_EQ(q.x, 0);
  EXPECT_DOUBLE_EQ(q.y, -1);
  EXPECT_EQ(geoEllipseNearest({3, 3}, Ellipse2D{1, 1, 0, 0, 0.5}, &q), 0);  // no ellipse at all
  EXPECT_EQ(geoEllipseNearest({3, 3}, e, nullptr), -20);
}

// A point on the long axis between the centre and the evolute's cusp was sent to the end of the
// axis; two feet off the axis are nearer (here by a third).
TEST(EllipseNearest, InsidePointsOnTheLongAxis) {
  struct Case {
    Ellipse2D e;
    Point2D p;
  };
  const Case cases[] = {
      {{0, 0, 2, 1, 0}, {0.5, 0}},
      {{0, 0, 2, 1, 0}, {-0.5, 1e-12}},
      {{0, 0, 1, 3, 0}, {0, 1.5}},
      {{4, -2, 1, 3, 0.7}, {4 - 1.5 * std::sin(0.7), -2 + 1.5 * std::cos(0.7)}},
  };
  for (const Case& c : cases) {
    Point2D q{};
    ASSERT_EQ(geoEllipseNearest(c.p, c.e, &q), 1);
    EXPECT_LE(dist2(q, c.p), sampledEllipseDist(c.e, c.p, 20000) + 1e-9);
    const Point2D l = toLocal(c.e, q);
    EXPECT_NEAR(l.x * l.x / (c.e.a * c.e.a) + l.y * l.y / (c.e.b * c.e.b), 1.0, 1e-9);
  }
}

// Random ellipses and points outside, inside (also inside the evolute, where several normals
// reach the quadrant) and next to the axes: never farther than the nearest of 20000 samples, and
// on the ellipse.
TEST(EllipseNearest, MatchesDenseSampling) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> axis(0.5, 8), ang(-kPi, kPi), pos(-10, 10),
      frac(-1.6, 1.6);
  for (int k = 0; k < 300; ++k) {
    const Ellipse2D e{pos(rng), pos(rng), axis(rng), axis(rng), ang(rng)};
    double u = frac(rng) * e.a, v = frac(rng) * e.b;
    if (k % 6 == 0) v = 1e-11 * (k % 12 == 0 ? 1 : -1);
    if (k % 6 == 1) u = -3e-11;
    if (k % 6 == 2) {  // inside the evolute
      u *= 0.2;
      v *= 0.2;
    }
    const Point2D p{e.cx + u * std::cos(e.theta) - v * std::sin(e.theta),
                    e.cy + u * std::sin(e.theta) + v * std::cos(e.theta)};
    Point2D q{};
    ASSERT_EQ(geoEllipseNearest(p, e, &q), 1) << k;
    EXPECT_LE(dist2(q, p), sampledEllipseDist(e, p, 20000) + 1e-9) << k;
    const Point2D l = toLocal(e, q);
    EXPECT_NEAR(l.x * l.x / (e.a * e.a) + l.y * l.y / (e.b * e.b), 1.0, 1e-9) << k;
  }
}

// The osculating circle against the circle through three close points of the ellipse.
TEST(EllipseOscCircle, MatchesCircleThroughNearbyPoints) {
  Arc2D c{};
  ASSERT_EQ(geoEllipseOscCircle({0, 0, 4, 2, 0}, 0.5, {10, 0}, &c), 1);
  EXPECT_NEAR(c.cx, 4 - 1, 1e-12);  // vertex curvature radius b^2 / a = 1
  EXPECT_NEAR(c.cy, 0, 1e-12);
  EXPECT_NEAR(c.radius, 1.5, 1e-12);
  EXPECT_EQ(c.dir, 1);
  ASSERT_EQ(geoEllipseOscCircle({0, 0, 3, 3, 0}, 1, {1, 2}, &c), 1);  // a circle is its own
  EXPECT_NEAR(c.cx, 0, 1e-12);
  EXPECT_NEAR(c.cy, 0, 1e-12);
  EXPECT_NEAR(c.radius, 4, 1e-12);
  std::mt19937 rng(22);
  std::uniform_real_distribution<double> axis(1, 6), ang(0, 2 * kPi);
  for (int k = 0; k < 50; ++k) {
    const Ellipse2D e{0, 0, axis(rng), axis(rng), 0};
    const double phi = ang(rng);
    const Point2D on = ellipsePoint(e, phi);
    const Point2D p{on.x * 1.5, on.y * 1.5};
    ASSERT_EQ(geoEllipseOscCircle(e, 0, p, &c), 1);
    Point2D q{};
    geoEllipseNearest(p, e, &q);
    double t = std::atan2(q.y / e.b, q.x / e.a);
    const double h = 1e-3;
    const Point2D p0 = ellipsePoint(e, t - h), p1 = ellipsePoint(e, t), p2 = ellipsePoint(e, t + h);
    // Centre of the circle through p0, p1, p2.
    const double d = 2 * (p0.x * (p1.y - p2.y) + p1.x * (p2.y - p0.y) + p2.x * (p0.y - p1.y));
    const double s0 = p0.x * p0.x + p0.y * p0.y, s1 = p1.x * p1.x + p1.y * p1.y,
                 s2 = p2.x * p2.x + p2.y * p2.y;
    const Point2D m{(s0 * (p1.y - p2.y) + s1 * (p2.y - p0.y) + s2 * (p0.y - p1.y)) / d,
                    (s0 * (p2.x - p1.x) + s1 * (p0.x - p2.x) + s2 * (p1.x - p0.x)) / d};
    const double rad = dist2(m, p1);
    EXPECT_NEAR(c.radius, rad, 1e-4 * (1 + rad));
    EXPECT_NEAR(c.cx, m.x, 1e-4 * (1 + rad));
    EXPECT_NEAR(c.cy, m.y, 1e-4 * (1 + rad));
  }
  EXPECT_EQ(geoEllipseOscCircle({0, 0, 4, 2, 0}, 0, {0, 0}, &c), -12);
  // A flat ellipse has no finite curvature at its ends: the formula would divide by zero.
  EXPECT_EQ(geoEllipseOscCircle({0, 0, 4, 0, 0}, 0, {5, 1}, &c), -20);
}

// ---- segment against offset ellipse -----------------------------------------------------------

// Against the sampled distance function: the number of points equals the sign changes of
// (signed distance to the ellipse - dist) along the segment, and each point lies on the segment
// at distance dist from the ellipse.
TEST(SegEllipseCut, MatchesSampledDistanceFunction) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> axis(1, 6), ang(-kPi, kPi), pos(-3, 3), ud(0.1, 3),
      end(-14, 14);
  int counts[3] = {0, 0, 0};
  for (int k = 0; k < 150; ++k) {
    const Ellipse2D e{pos(rng), pos(rng), axis(rng), axis(rng), ang(rng)};
    const double off = ud(rng);
    const Seg2D s{end(rng), end(rng), end(rng), end(rng)};
    const auto g = [&](double t) {
      const Point2D p{s.x1 + t * (s.x2 - s.x1), s.y1 + t * (s.y2 - s.y1)};
      Point2D q{};
      if (geoEllipseNearest(p, e, &q) != 1) return -off - 1;  // the centre
      const Point2D l = toLocal(e, p);
      const bool inside = l.x * l.x / (e.a * e.a) + l.y * l.y / (e.b * e.b) < 1;
      return (inside ? -1 : 1) * dist2(p, q) - off;
    };
    const int n = 1000;
    int changes = 0;
    double prev = g(0), smallest = std::fabs(prev);
    for (int i = 1; i <= n; ++i) {
      const double cur = g(double(i) / n);
      smallest = std::fmin(smallest, std::fabs(cur));
      changes += (prev < 0) != (cur < 0);
      prev = cur;
    }
    // Grazing segments and segments ending on the curve are decided by tolerances: skip them.
    if (std::fabs(g(0)) < 0.01 || std::fabs(g(1)) < 0.01) continue;
    if (changes == 0 && smallest < 0.01) continue;
    Point2D o1{}, o2{};
    const int got = geoSegEllipseCut(s, e, off, &o1, &o2);
    ASSERT_EQ(got, changes) << k;
    ++counts[got];
    for (int i = 0; i < got; ++i) {
      const Point2D& o = i == 0 ? o1 : o2;
      EXPECT_NEAR(sampledEllipseDist(e, o, 20000), off, 1e-4) << k;
      Seg3D s3{{s.x1, s.y1, 0}, {s.x2, s.y2, 0}};
      EXPECT_LT(lineDist({o.x, o.y, 0}, s3.start, s3.end), 1e-6);
    }
    if (got == 2) {
      EXPECT_GT(dist2(o1, o2), 1e-6);
    }
  }
  EXPECT_GT(counts[0], 5);
  EXPECT_GT(counts[1], 5);
  EXPECT_GT(counts[2], 5);
}

TEST(SegEllipseCut, TangentsAndBadInput) {
  const Ellipse2D e{0, 0, 4, 2, 0};
  Point2D o1{}, o2{};
  // The line y = 3 touches the curve at distance 1 outside the ellipse at its top.
  EXPECT_EQ(geoSegEllipseCut(Seg2D{-5, 3, 5, 3}, e, 1, &o1, &o2), 1);
  EXPECT_NEAR(o1.x, 0, 1e-9);
  EXPECT_NEAR(o1.y, 3, 1e-9);
  EXPECT_EQ(geoSegEllipseCut(Seg2D{2, 3, 5, 3}, e, 1, &o1, &o2),
            0);  // the touch is off the segment
  EXPECT_EQ(geoSegEllipseCut(Seg2D{-5, 9, 5, 9}, e, 1, &o1, &o2), 0);  // far away
  EXPECT_EQ(geoSegEllipseCut(Seg2D{-5, 0, 5, 0}, {0, 0, 0, 2, 0}, 1, &o1, &o2), 0);
  EXPECT_EQ(geoSegEllipseCut(Seg2D{1, 1, 1, 1}, e, 1, &o1, &o2), -10);
  EXPECT_EQ(geoSegEllipseCut(Seg2D{-9, 0, 9, 0}, e, 1, &o1, &o2), 2);
  EXPECT_NEAR(o1.x, 5, 1e-9);
  EXPECT_NEAR(o2.x, -5, 1e-9);
}

// ---- torus and edge ---------------------------------------------------------------------------
namespace {
// The torus function: negative inside the tube, zero on the surface.
double torusQ(const Point3D& c, double a, double b, const Point3D& x) {
  const Point3D w = sub(x, c);
  const double s = dot(w, w) + a * a - b * b;
  return s * s - 4 * a * a * (w.x * w.x + w.y * w.y);
}
}  // namespace

// Steep edges beside the torus, where the torus function is convex along the edge: the contact
// is no higher in it than any of 4001 samples of the edge, lies on the edge, and the error
// record says where the search ended.
TEST(TorusEdge, ConvexCaseMatchesSampledMinimum) {
  std::mt19937 rng(41);
  std::uniform_real_distribution<double> ua(3, 8), ub(1, 3), ang(0, 2 * kPi), tilt(-0.4, 0.4),
      half(2, 6), zc(-2, 2), gap(-0.5, 3);
  int solved = 0;
  for (int k = 0; k < 200; ++k) {
    const Point3D c = randomPoint(rng, 5);
    const double a = ua(rng), b = ub(rng), phi = ang(rng), rho = a + b + gap(rng);
    const Point3D mid{c.x + rho * std::cos(phi), c.y + rho * std::sin(phi), c.z + zc(rng)};
    const Point3D dir = unit({tilt(rng), tilt(rng), 1});
    const Seg3D s{sub(mid, scale(half(rng), dir)), add(mid, scale(half(rng), dir))};
    geoErrSet(-99, "test", 0);
    Point3D out{};
    const int got = geoTorusEdgeContact(c, a, b, s, &out);
    if (geoErrCode() == -99) continue;  // the cylinder branch: not this test's concern
    if (got == 0) {
      EXPECT_EQ(geoErrCode(), 0);
      continue;
    }
    ++solved;
    EXPECT_EQ(geoErrCode(), 1);
    double best = 1e300;
    for (int i = 0; i <= 4000; ++i) {
      best = std::fmin(best, torusQ(c, a, b, add(s.start, scale(i / 4000.0, sub(s.end, s.start)))));
    }
    EXPECT_LE(torusQ(c, a, b, out), best + 1e-9 * std::fabs(best) + 1e-9) << k;
    EXPECT_NEAR(dist(s.start, out) + dist(out, s.end), dist(s.start, s.end), 1e-9);
  }
  EXPECT_GT(solved, 50);
}

TEST(TorusEdge, ConvexCaseExits) {
  const Point3D c{0, 0, 0};
  Point3D out{};
  // Moving away from the tube from the first point on: the minimum is the start, no contact.
  geoErrSet(-99, "test", 0);
  EXPECT_EQ(geoTorusEdgeContact(c, 5, 2, Seg3D{{7, 0, 0}, {7, 0, 6}}, &out), 0);
  EXPECT_EQ(geoErrCode(), 0);
  geoErrSet(-99, "test", 0);
  EXPECT_EQ(geoTorusEdgeContact(c, 5, 2, Seg3D{{7, 0, 6}, {7, 0, 0}}, &out), 0);
  EXPECT_EQ(geoErrCode(), 0);
  geoErrSet(-99, "test", 0);
  ASSERT_EQ(geoTorusEdgeContact(c, 5, 2, Seg3D{{7, 0, -3}, {7, 0, 6}}, &out), 1);
  EXPECT_EQ(geoErrCode(), 1);
  expectPoint(out, {7, 0, 0}, 1e-9);
  EXPECT_EQ(geoTorusEdgeContact(c, 5, 2, Seg3D{{7, 0, -3}, {7, 0, 6}}, nullptr), -20);
}

// Flat edges over the tube: the contact comes from the cylinder about the edge cut in the plane
// of the centre circle. A horizontal edge gives the foot of the centre; an inclined one the foot
// of the cut's point nearest the centre, found here by sampling the cut around the edge.
TEST(TorusEdge, FlatEdgesThroughTheCylinderCut) {
  const Point3D c{0, 0, 0};
  Point3D out{};
  geoErrSet(-99, "test", 0);
  ASSERT_EQ(geoTorusEdgeContact(c, 5, 2, Seg3D{{3, -10, 1}, {3, 10, 1}}, &out), 1);
  EXPECT_EQ(geoErrCode(), -99);
  expectPoint(out, {3, 0, 1}, 1e-12);
  EXPECT_EQ(geoTorusEdgeContact(c, 5, 2, Seg3D{{3, 1, 1}, {3, 10, 1}}, &out), 0);  // foot beyond

  std::mt19937 rng(43);
  std::uniform_real_distribution<double> ang(0, 2 * kPi), off(0.5, 3), slope(0.02, 0.15), ud(-1, 1);
  int checked = 0;
  for (int k = 0; k < 40; ++k) {
    const double a = 5, b = 2, phi = ang(rng);
    const Point3D cc = randomPoint(rng, 3);
    // An edge crossing the plane z = cc.z at c0, beside the centre, rising gently.
    const Point3D c0{cc.x + off(rng) * std::cos(phi), cc.y + off(rng) * std::sin(phi), cc.z};
    const double psi = ang(rng);
    const Point3D u = unit({std::cos(psi), std::sin(psi), slope(rng)});
    const Seg3D s{sub(c0, scale(8 + ud(rng), u)), add(c0, scale(8 + ud(rng), u))};
    geoErrSet(-99, "test", 0);
    const int got = geoTorusEdgeContact(cc, a, b, s, &out);
    if (geoErrCode() != -99) continue;
    // The cut: points of the plane at distance b from the edge's line, sampled around c0.
    double best = 1e300;
    Point3D nearest{};
    for (int i = 0; i < 40000; ++i) {
      const double t = 2 * kPi * i / 40000;
      const Point3D d{std::cos(t), std::sin(t), 0};
      const Point3D y = add(c0, scale(b / len(cross(d, u)), d));
      if (dist(y, cc) < best) {
        best = dist(y, cc);
        nearest = y;
      }
    }
    const Point3D foot = add(s.start, scale(dot(sub(nearest, s.start), u), u));
    ASSERT_EQ(got, 1) << k;
    expectPoint(out, foot, 2e-3);
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// ---- triangle below a height ------------------------------------------------------------------

TEST(TriClipZSlab, KnownCases) {
  const Tri3D t{{{0, 0, 0}, {10, 0, 2}, {0, 10, 1}}};
  Tri3D o1{}, o2{};
  EXPECT_EQ(geoTriClipZSlab(t, 1.5, 5, &o1, &o2), 2);
  ASSERT_EQ(geoTriClipZSlab(t, 1, 5, &o1, &o2), 1);
  int atOne = 0;
  for (const auto& v : o1.v) atOne += v.z == 1 && v.x == 0 && v.y == 10;
  EXPECT_EQ(atOne, 1);
  EXPECT_EQ(geoTriClipZSlab(t, -1, 5, &o1, &o2), 0);  // all above
  EXPECT_EQ(geoTriClipZSlab(t, 10, 5, &o1, &o2), 0);  // all below the slab
  const Tri3D low{{{0, 0, 0}, {10, 0, 1}, {0, 10, 0.5}}};
  ASSERT_EQ(geoTriClipZSlab(low, 1.00005, 5, &o1, &o2), 1);  // the top within 0.0001: all of it
  EXPECT_DOUBLE_EQ(triArea(o1), triArea(low));
  // Only the lowest corner, or only the lowest edge, reaches the height.
  ASSERT_EQ(geoTriClipZSlab(t, 0, 5, &o1, &o2), 1);
  EXPECT_DOUBLE_EQ(triArea(o1), 0);
  const Tri3D edge{{{0, 0, 0}, {10, 0, 0}, {0, 10, 1}}};
  ASSERT_EQ(geoTriClipZSlab(edge, 0, 5, &o1, &o2), 1);
  EXPECT_DOUBLE_EQ(triArea(o1), 0);
  geoErrReset();
  EXPECT_EQ(geoTriClipZSlab(Tri3D{{{0, 0, NAN}, {1, 0, 0}, {0, 1, 1}}}, 0.5, 5, &o1, &o2), -1);
  EXPECT_EQ(geoErrCode(), -1);
  EXPECT_EQ(geoTriClipZSlab(t, NAN, 5, &o1, &o2), -1);
  EXPECT_EQ(geoTriClipZSlab(t, 1, 5, nullptr, &o2), -20);
}

namespace {
// Area of the part of t below z = h: the polygon clipped by the half-space, then its vector area.
double clippedArea(const Tri3D& t, double h) {
  std::vector<Point3D> poly;
  for (int i = 0; i < 3; ++i) {
    const Point3D& p = t.v[i];
    const Point3D& q = t.v[(i + 1) % 3];
    if (p.z <= h) poly.push_back(p);
    if ((p.z < h) != (q.z < h) && p.z != q.z) {
      poly.push_back(add(p, scale((h - p.z) / (q.z - p.z), sub(q, p))));
    }
  }
  Point3D sum{0, 0, 0};
  for (std::size_t i = 1; i + 1 < poly.size(); ++i) {
    sum = add(sum, cross(sub(poly[i], poly[0]), sub(poly[i + 1], poly[0])));
  }
  return 0.5 * len(sum);
}
}  // namespace

// The pieces cover exactly the part below the height: their areas add up to the independently
// clipped area, and no piece rises above the height or leaves the triangle's plane.
TEST(TriClipZSlab, PiecesSumToTheClippedArea) {
  std::mt19937 rng(51);
  std::uniform_real_distribution<double> uh(-10, 10);
  int twos = 0;
  for (int k = 0; k < 400; ++k) {
    const Tri3D t{{randomPoint(rng, 10), randomPoint(rng, 10), randomPoint(rng, 10)}};
    const double h = uh(rng);
    bool nearCorner = false;
    for (const auto& v : t.v) nearCorner = nearCorner || std::fabs(v.z - h) < 1e-3;
    if (nearCorner) continue;
    Tri3D o1{}, o2{};
    const int got = geoTriClipZSlab(t, h, 100, &o1, &o2);
    ASSERT_GE(got, 0);
    const double area = (got >= 1 ? triArea(o1) : 0) + (got == 2 ? triArea(o2) : 0);
    EXPECT_NEAR(area, clippedArea(t, h), 1e-9 * (1 + triArea(t))) << k;
    double a, b, c, d;
    geoTriPlane(t, &a, &b, &c, &d);
    for (int i = 0; i < got; ++i) {
      for (const auto& v : (i == 0 ? o1 : o2).v) {
        EXPECT_LE(v.z, h);
        EXPECT_NEAR(a * v.x + b * v.y + c * v.z + d, 0.0, 1e-9);
      }
    }
    twos += got == 2;
  }
  EXPECT_GT(twos, 50);
}
