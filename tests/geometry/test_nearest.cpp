// Tests of the nearest-point queries: segments and polylines in 3D, XY and 2D against dense
// sampling and brute force, the closest approach of two segments against a two-parameter grid,
// and the value-carrying polyline with its memory failures.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "framework/memory.h"
#include "geometry/geo_error.h"
#include "geometry/nearest.h"

namespace {
Point3D lerp(const Point3D& a, const Point3D& b, double t) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}
double dist3(const Point3D& a, const Point3D& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}
double distXY(const Point3D& a, const Point3D& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}
void expectPoint(const Point3D& got, const Point3D& want, double tol) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}
Point3D randomPoint(std::mt19937& rng, double r) {
  std::uniform_real_distribution<double> u(-r, r);
  return {u(rng), u(rng), u(rng)};
}
// Smallest distance from p to the sampled segment ab (n + 1 samples), by the given measure.
template <typename Measure>
double sampledSegDist(const Point3D& a, const Point3D& b, const Point3D& p, int n, Measure m) {
  double best = 1e300;
  for (int i = 0; i <= n; ++i) best = std::fmin(best, m(lerp(a, b, double(i) / n), p));
  return best;
}
}  // namespace

TEST(NearestOnSeg, KnownCases) {
  Point3D q{};
  EXPECT_DOUBLE_EQ(plineNearestOnSeg3({0, 0, 0}, {10, 0, 0}, {5, 3, 4}, &q), 5.0);
  expectPoint(q, {5, 0, 0}, 1e-12);
  EXPECT_DOUBLE_EQ(plineNearestOnSeg3({0, 0, 0}, {10, 0, 0}, {-1, 0, 0}, &q), 1.0);
  expectPoint(q, {0, 0, 0}, 0.0);
  // A segment shorter than 1e-5 with p equally far from both ends gives the end.
  EXPECT_NEAR(plineNearestOnSeg3({0, 0, 0}, {4e-6, 0, 0}, {2e-6, 1, 0}, &q), 1.0, 1e-9);
  expectPoint(q, {4e-6, 0, 0}, 0.0);
  EXPECT_DOUBLE_EQ(plineNearestOnSegXY({0, 0, 0}, {10, 0, 10}, {5, 1, 100}, &q), 1.0);
  expectPoint(q, {5, 0, 5}, 1e-12);
  Point2D q2{};
  EXPECT_DOUBLE_EQ(plineNearestOnSeg2({0, 0}, {0, 10}, {-3, 4}, &q2), 3.0);
  EXPECT_DOUBLE_EQ(q2.x, 0.0);
  EXPECT_DOUBLE_EQ(q2.y, 4.0);
  // A null output is allowed when only the distance is wanted.
  EXPECT_DOUBLE_EQ(plineNearestOnSeg3({0, 0, 0}, {10, 0, 0}, {5, 3, 4}, nullptr), 5.0);
}

// The three measures against 2001 samples along the segment: never farther than the nearest
// sample, never nearer than the sample spacing allows, and the point lies on the segment.
TEST(NearestOnSeg, MatchesDenseSampling) {
  std::mt19937 rng(11);
  const int n = 2000;
  for (int k = 0; k < 300; ++k) {
    const Point3D a = randomPoint(rng, 10), b = randomPoint(rng, 10), p = randomPoint(rng, 15);
    const double step = dist3(a, b) / n;
    Point3D q{};
    const double d3 = plineNearestOnSeg3(a, b, p, &q);
    const double s3 = sampledSegDist(a, b, p, n, dist3);
    EXPECT_LE(d3, s3 + 1e-9);
    EXPECT_GE(d3, s3 - step);
    EXPECT_NEAR(dist3(q, p), d3, 1e-9);
    EXPECT_NEAR(dist3(a, q) + dist3(q, b), dist3(a, b), 1e-9);  // q on the segment

    const double dxy = plineNearestOnSegXY(a, b, p, &q);
    const double sxy = sampledSegDist(a, b, p, n, distXY);
    EXPECT_LE(dxy, sxy + 1e-9);
    EXPECT_GE(dxy, sxy - step);
    EXPECT_NEAR(distXY(q, p), dxy, 1e-9);
    EXPECT_NEAR(dist3(a, q) + dist3(q, b), dist3(a, b), 1e-9);  // z interpolated on the segment

    Point2D q2{};
    const double d2 = plineNearestOnSeg2({a.x, a.y}, {b.x, b.y}, {p.x, p.y}, &q2);
    EXPECT_NEAR(d2, dxy, 1e-9);  // the same geometry as the XY measure
    EXPECT_NEAR(q2.x, q.x, 1e-9);
    EXPECT_NEAR(q2.y, q.y, 1e-9);
  }
}

// Brute force over every segment, sampled densely: the distance, and the winning segment holds
// the nearest point.
TEST(NearestPolyline, MatchesBruteForce) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> count(2, 8);
  for (int k = 0; k < 150; ++k) {
    std::vector<Point3D> pts(count(rng));
    for (auto& p : pts) p = randomPoint(rng, 10);
    const Point3D p = randomPoint(rng, 12);
    double brute3 = 1e300, bruteXY = 1e300;
    for (std::size_t i = 1; i < pts.size(); ++i) {
      brute3 = std::fmin(brute3, sampledSegDist(pts[i - 1], pts[i], p, 1000, dist3));
      bruteXY = std::fmin(bruteXY, sampledSegDist(pts[i - 1], pts[i], p, 1000, distXY));
    }
    Point3D q{};
    int index = -1;
    const double d = plineNearest3(pts.data(), int(pts.size()), p, &q, &index);
    EXPECT_LE(d, brute3 + 1e-9);
    EXPECT_GE(d, brute3 - 0.05);
    ASSERT_GE(index, 1);
    ASSERT_LT(index, int(pts.size()));
    EXPECT_NEAR(plineNearestOnSeg3(pts[index - 1], pts[index], p, nullptr), d, 1e-12);
    EXPECT_NEAR(dist3(q, p), d, 1e-9);

    const double dxy = plineNearestXY(pts.data(), int(pts.size()), p, &q, &index);
    EXPECT_LE(dxy, bruteXY + 1e-9);
    EXPECT_GE(dxy, bruteXY - 0.05);
    EXPECT_NEAR(distXY(q, p), dxy, 1e-9);

    std::vector<Point2D> flat;
    for (const auto& v : pts) flat.push_back({v.x, v.y});
    Point2D q2{};
    EXPECT_NEAR(plineNearest2(flat.data(), int(flat.size()), {p.x, p.y}, &q2, &index), dxy, 1e-9);
  }
}

// Equal distances: the first segment wins. The polyline runs out and back along the same line.
TEST(NearestPolyline, FirstOfEqualDistancesWins) {
  const Point3D pts[3] = {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}};
  Point3D q{};
  int index = 0;
  // Distances chosen so that both segments give exactly 3.
  EXPECT_EQ(plineNearest3(pts, 3, {4, 3, 0}, &q, &index), 3.0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(plineNearestXY(pts, 3, {4, 3, 7}, &q, &index), 3.0);
  EXPECT_EQ(index, 1);
  EXPECT_DOUBLE_EQ(q.z, 0.0);
}

// With fewer than two points the nearest point and index were left unwritten: the caller read
// whatever its variables held. Now nothing found is 0, index 0 and out = p.
TEST(NearestPolyline, TooFewPointsFindNothing) {
  const Point3D one[1] = {{3, 4, 0}};
  const Point3D p{1, 1, 1};
  struct Case {
    const Point3D* pts;
    int count;
  };
  for (const Case& c : {Case{one, 1}, Case{one, 0}, Case{one, -3}, Case{nullptr, 5}}) {
    Point3D q{99, 99, 99};
    int index = 77;
    EXPECT_EQ(plineNearest3(c.pts, c.count, p, &q, &index), 0.0);
    EXPECT_EQ(index, 0);
    expectPoint(q, p, 0.0);
  }
  const Point2D one2[1] = {{3, 4}};
  Point2D q2{99, 99};
  int index = 77;
  EXPECT_EQ(plineNearest2(one2, 1, {1, 1}, &q2, &index), 0.0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(q2.x, 1.0);
  EXPECT_EQ(q2.y, 1.0);
  // The XY query accepts a single point: that point, index 1 and its XY distance.
  Point3D q{};
  EXPECT_DOUBLE_EQ(plineNearestXY(one, 1, {0, 0, 50}, &q, &index), 5.0);
  EXPECT_EQ(index, 1);
  expectPoint(q, one[0], 0.0);
  index = 77;
  EXPECT_EQ(plineNearestXY(one, 0, p, &q, &index), 0.0);
  EXPECT_EQ(index, 0);
}

TEST(SegSegDistance, KnownCases) {
  Point3D p{}, q{};
  EXPECT_NEAR(plineSegSegDist3({0, 0, 0}, {10, 0, 0}, {5, -5, 2}, {5, 5, 2}, &p, &q), 2.0, 1e-12);
  expectPoint(p, {5, 0, 0}, 1e-12);
  expectPoint(q, {5, 0, 2}, 1e-12);
  // Parallel segments: the smallest end-to-segment distance; e to ab comes first and a later
  // equal one (b to ef) does not replace it.
  EXPECT_NEAR(plineSegSegDist3({0, 0, 0}, {10, 0, 0}, {4, 3, 0}, {20, 3, 0}, &p, &q), 3.0, 1e-12);
  expectPoint(p, {4, 0, 0}, 1e-12);
  expectPoint(q, {4, 3, 0}, 1e-12);
  // Skew segments that do not pass each other: end to segment.
  EXPECT_NEAR(plineSegSegDist3({0, 0, 0}, {10, 0, 0}, {12, -5, 2}, {12, 5, 2}, &p, &q),
              std::sqrt(8.0), 1e-12);
  expectPoint(p, {10, 0, 0}, 1e-12);
  expectPoint(q, {12, 0, 2}, 1e-12);
}

TEST(SegSegCross, ResultsAndBadInput) {
  Point3D p{7, 7, 7}, q{7, 7, 7};
  struct Case {
    Point3D a, b, e, f;
    int want;
  };
  const Case cases[] = {
      {{0, 0, 0}, {10, 0, 0}, {5, -5, 2}, {5, 5, 2}, 1},    // passing
      {{0, 0, 0}, {10, 0, 0}, {12, -5, 2}, {12, 5, 2}, 0},  // passing beyond the end
      {{0, 0, 0}, {10, 0, 0}, {0, 1, 0}, {10, 1, 0}, 0},    // parallel
      {{0, 0, 0}, {5e-6, 0, 0}, {5, -5, 2}, {5, 5, 2}, 0},  // too short
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plineSegSegCross3(c.a, c.b, c.e, c.f, &p, &q), c.want);
  }
  geoErrReset();
  EXPECT_EQ(plineSegSegCross3({0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {0, -1, 1}, nullptr, &q), -20);
  EXPECT_EQ(geoErrCode(), -20);
}

// The distance against a 301 x 301 grid of parameter pairs: never more than the best pair, never
// less than the grid spacing allows; the points lie on their segments and realise the distance.
TEST(SegSegDistance, MatchesTwoParameterSampling) {
  std::mt19937 rng(23);
  const int n = 300;
  int crossing = 0;
  for (int k = 0; k < 120; ++k) {
    const Point3D a = randomPoint(rng, 10), b = randomPoint(rng, 10);
    Point3D e = randomPoint(rng, 10), f = randomPoint(rng, 10);
    if (k % 10 == 0) {  // nearly parallel pairs, where the crossing test gives way to the ends
      const Point3D s = randomPoint(rng, 0.5);
      e = {a.x + s.x, a.y + s.y + 2, a.z + s.z};
      f = {b.x + s.x * 0.1, b.y + 2 + s.y, b.z + s.z * 0.1};
    }
    double best = 1e300;
    for (int i = 0; i <= n; ++i) {
      const Point3D pi = lerp(a, b, double(i) / n);
      for (int j = 0; j <= n; ++j) best = std::fmin(best, dist3(pi, lerp(e, f, double(j) / n)));
    }
    Point3D p{}, q{}, cp{}, cq{};
    const double d = plineSegSegDist3(a, b, e, f, &p, &q);
    crossing += plineSegSegCross3(a, b, e, f, &cp, &cq) == 1;
    const double spacing = (dist3(a, b) + dist3(e, f)) / n;
    EXPECT_LE(d, best + 1e-9);
    EXPECT_GE(d, best - spacing);
    EXPECT_NEAR(dist3(p, q), d, 1e-9);
    EXPECT_NEAR(dist3(a, p) + dist3(p, b), dist3(a, b), 1e-7);
    EXPECT_NEAR(dist3(e, q) + dist3(q, f), dist3(e, f), 1e-7);
  }
  EXPECT_GT(crossing, 10);  // both ways through the distance are exercised
}

TEST(ParamPolylineTest, NewCopyFree) {
  ParamPolyline* poly = ppolyNew(0);
  ASSERT_NE(poly, nullptr);
  EXPECT_EQ(poly->capacity, 1);
  EXPECT_EQ(poly->count, 0);
  ppolyFree(poly);

  poly = ppolyNew(4);
  ASSERT_NE(poly, nullptr);
  for (int i = 0; i < 3; ++i) {
    poly->points[i] = {double(i), double(i * i), 1.0};
    poly->values[i] = 10.0 * i;
  }
  poly->count = 3;
  ParamPolyline* copy = ppolyCopy(poly);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->capacity, 4);
  EXPECT_EQ(copy->count, 3);
  for (int i = 0; i < 3; ++i) {
    expectPoint(copy->points[i], poly->points[i], 0.0);
    EXPECT_EQ(copy->values[i], poly->values[i]);
  }
  EXPECT_NE(copy->points, poly->points);
  ppolyFree(copy);
  EXPECT_EQ(ppolyCopy(nullptr), nullptr);
  poly->count = 5;  // beyond the capacity: copying would read past the arrays
  EXPECT_EQ(ppolyCopy(poly), nullptr);
  EXPECT_EQ(geoErrCode(), -20);
  ppolyFree(poly);
  ppolyFree(nullptr);
}

// Every allocation of the create and copy functions failing in turn: null, nothing leaked.
TEST(ParamPolylineTest, AllocationFailures) {
  for (long n = 1; n <= 3; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(ppolyNew(8), nullptr) << n;
    memTestFailAt(0);
  }
  ParamPolyline* poly = ppolyNew(8);
  ASSERT_NE(poly, nullptr);
  poly->count = 2;
  for (long n = 1; n <= 3; ++n) {
    memTestFailAt(n);
    EXPECT_EQ(ppolyCopy(poly), nullptr) << n;
    memTestFailAt(0);
  }
  ppolyFree(poly);
}

TEST(ParamPolylineTest, NearestInterpolatesTheValue) {
  ParamPolyline* poly = ppolyNew(3);
  ASSERT_NE(poly, nullptr);
  poly->points[0] = {0, 0, 0};
  poly->points[1] = {10, 0, 0};
  poly->points[2] = {10, 0, 20};
  poly->values[0] = 1;
  poly->values[1] = 3;
  poly->values[2] = 7;
  poly->count = 2;
  double value = 0;
  Point3D q{};
  EXPECT_DOUBLE_EQ(ppolyNearest3(poly, {2.5, 1, 0}, &value, &q), 1.0);
  EXPECT_DOUBLE_EQ(value, 1.5);
  expectPoint(q, {2.5, 0, 0}, 1e-12);
  // Along the vertical second segment the value follows the 3D fraction; in XY the first segment
  // is nearer.
  poly->count = 3;
  EXPECT_DOUBLE_EQ(ppolyNearest3(poly, {11, 0, 15}, &value, &q), 1.0);
  EXPECT_DOUBLE_EQ(value, 3 + 0.75 * 4);
  EXPECT_DOUBLE_EQ(ppolyNearestXY(poly, {7.5, 2, 50}, &value, &q), 2.0);
  EXPECT_DOUBLE_EQ(value, 2.5);
  expectPoint(q, {7.5, 0, 0}, 1e-12);
  ppolyFree(poly);
}

TEST(ParamPolylineTest, NearestRejectsUnusablePolylines) {
  ParamPolyline* poly = ppolyNew(2);
  ASSERT_NE(poly, nullptr);
  const Point3D p{1, 2, 3};
  for (int count : {0, 1, 3}) {  // too few points, or more than the arrays hold
    poly->count = count;
    double value = 9;
    Point3D q{};
    geoErrReset();
    EXPECT_EQ(ppolyNearest3(poly, p, &value, &q), -20.0) << count;
    EXPECT_EQ(geoErrCode(), -20);
    EXPECT_EQ(value, 0.0);
    expectPoint(q, p, 0.0);
    EXPECT_EQ(ppolyNearestXY(poly, p, &value, &q), -20.0) << count;
  }
  EXPECT_EQ(ppolyNearest3(nullptr, p, nullptr, nullptr), -20.0);
  ppolyFree(poly);
}
